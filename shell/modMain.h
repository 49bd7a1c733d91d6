#pragma once
// Start-up, File > Open, the remembered folder and exit of the desktop program.

#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "shell/frmZenivor.h"
#include "util/FileSystem.h"
#include "util/SettingsStore.h"

class QMimeData;

namespace zenivor {

class ShellDialogs;
struct OpenDialogSetup;
struct SkyContext;
struct SkyResult;

// What the program needs from its surroundings; the tests hand in their own.
struct ShellEnvironment {
    SettingsStore& settings;
    ShellDialogs& dialogs;
    FileSystem& files;
    std::filesystem::path programFolder;
    std::function<void()> endProgram;  // ends the program at once
};

class modMain {
public:
    explicit modMain(ShellEnvironment environment);
    ~modMain();

    // Shows the window and converts the strip the command line names, if any.
    void Main(const QStringList& arguments);
    void ProcessFile(const std::string& path);
    // Projects a 360-degree panorama onto the cube, shown as ProcessFile shows a strip.
    void ProcessPanoramaFile(const std::string& path);
    void FileOpen();
    void FileOpenPanorama();
    std::string SelectInputFile(const OpenDialogSetup& setup);
    void ExitProgram();
    // Opens a document in the program's folder; a failure shows one message.
    void LaunchHelpFile(const std::string& name);
    void ShowAbout();
    // Converts the one strip file a drop carries, as File > Open does; refuses anything else.
    void DropFile(const QMimeData& data);

    frmZenivor* Window() const { return window_.get(); }
    const std::string& LastPath() const { return lastPath_; }

private:
    void ReportUnexpected(const char* procedure, const std::exception& error);
    void OpenAndProcess(const OpenDialogSetup& setup, void (modMain::*process)(const std::string&));
    void ShowResult(const SkyResult& result);
    SkyContext Context() const;

    ShellEnvironment environment_;
    std::string appName_;
    std::string lastPath_;
    std::unique_ptr<frmZenivor> window_;
};

// The command line's path: the arguments after the program's name, joined by single blanks,
// without one pair of enclosing double quotes.
std::string CommandLinePath(const QStringList& arguments);

}  // namespace zenivor
