#pragma once
// Start-up, File > Open, the remembered folder and exit of the desktop program, and what the
// window adds beside them: the cube pane, recent files, Undo, the bars that ask before a cube is
// written, panoramas previewed before they are written, and several files at once.

#include <QStringList>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "conversion/Equirect.h"
#include "shell/frmZenivor.h"
#include "util/FileSystem.h"
#include "util/SettingsStore.h"

class QMimeData;

namespace zenivor {

class ConversionRunner;
class PanoramaLookAround;
class ShellDialogs;
class UndoStore;
struct OpenDialogSetup;
struct SkyContext;
struct SkyResult;

// What the program needs from its surroundings; the tests hand in their own.
struct ShellEnvironment {
    SettingsStore& settings;
    ShellDialogs& dialogs;
    FileSystem& files;
    // Holds the program's files: the help page and the ground template.
    std::filesystem::path programFolder;
    std::function<void()> endProgram;  // ends the program at once
    // Where Undo keeps the cubes conversions replaced: the user's cache folder.
    std::filesystem::path undoFolder = {};
    // The ground copied into every cube when it is not the one in programFolder (the user's own).
    std::filesystem::path groundTemplate = {};
    // Where --verbose sends each status text.
    std::function<void(const std::string&)> verboseOutput = {};
};

// The desktop entry's option: show the cube of the file named after it, and ask where it goes
// before anything is written.
inline constexpr const char* kAskOption = "--ask";

class modMain {
public:
    explicit modMain(ShellEnvironment environment);
    ~modMain();

    // Shows the window and converts the strip the command line names, if any (with --ask, shows
    // its cube and asks first).
    void Main(const QStringList& arguments);
    // Converts a strip into the remembered folder, off the window's thread.
    void ProcessFile(const std::string& path);
    // Shows a 360-degree panorama's cube with its controls; Write writes it.
    void ProcessPanoramaFile(const std::string& path);
    void FileOpen();
    void FileOpenPanorama();
    void FileOpenCube();
    void FileOutputFolder();
    void FileOpenOutputFolder();
    void OpenRecent(const QString& entry);
    void EditUndo();
    std::string SelectInputFile(const OpenDialogSetup& setup);
    void ExitProgram();
    // Opens a document in the program's folder; a failure shows one message.
    void LaunchHelpFile(const std::string& name);
    void ShowAbout();
    // Converts the one strip file a drop carries, as File > Open does; several each into a
    // folder of its own under one the user chooses; refuses anything else.
    void DropFile(const QMimeData& data);
    // Shows the cube of a file opened from the desktop and asks where to write it.
    void AskFirst(const std::string& path);
    // Converts each file into a folder of its own under a folder the user chooses.
    void ConvertEach(const QStringList& files);

    // Handles the window's events until no conversion runs.
    void WaitForConversion();
    frmZenivor* Window() const { return window_.get(); }
    const std::string& LastPath() const { return lastPath_; }
    const QStringList& RecentEntries() const { return recent_; }

private:
    void ReportUnexpected(const char* procedure, const std::exception& error);
    void OpenAndProcess(const OpenDialogSetup& setup, void (modMain::*process)(const std::string&));
    void ShowResult(const SkyResult& result);
    // The context of a conversion into folder (UTF-8, ending with a separator; empty beside the
    // source), shown through host, keeping the older files for Undo.
    SkyContext Context(ConversionHost& host, const std::string& folder);
    // ground: for a panorama, the file copied as its sixth face; empty for the view straight down.
    void Convert(const std::string& path, bool panorama, const PanoramaView& view, const std::filesystem::path& ground);
    void Converted(const SkyResult& result, const std::string& path, const std::string& folder, const QString& kind);
    void OfferPanorama(const SkyResult& result, const std::string& path);
    void ShowCubeIn(const std::filesystem::path& folder, const QString& caption);
    void Remember(const QString& kind, const std::string& path);
    void PreviewPanorama(const PanoramaView& view, const std::filesystem::path& ground);
    // The ground file a choice of the panorama's controls copies; empty for the view straight
    // down. Choosing "a file" asks for one; without one the choice goes back.
    std::filesystem::path PanoramaGround(GroundSource ground);
    void ReadRecent();
    void SaveRecent();

    ShellEnvironment environment_;
    std::string appName_;
    std::string lastPath_;
    std::unique_ptr<frmZenivor> window_;
    std::unique_ptr<ConversionRunner> runner_;
    std::unique_ptr<UndoStore> undo_;
    QStringList recent_;
    std::filesystem::path shownFolder_;  // the folder of the cube last written or opened
    // The panorama being previewed: its path, its pixels for the preview, and a counter that
    // tells a projection still wanted from one overtaken by a later change.
    std::string panoramaPath_;
    std::shared_ptr<const PanoramaLookAround> panoramaView_;
    std::shared_ptr<RgbImage> panorama_;
    int projectionGeneration_ = 0;
    GroundSource panoramaGround_ = GroundSource::Panorama;
    std::filesystem::path groundFile_;  // the user's own ground for the panorama, once chosen
};

struct ShellCommandLine {
    bool verbose = false;  // -v or --verbose first: the status texts go to standard error too
    bool ask = false;      // --ask (kAskOption) before a file: show its cube, ask where it goes
    std::string path;      // the strip to convert at start-up, or empty
};

// The command line (the program's name first): an optional -v or --verbose, an optional --ask,
// an optional "--", then the file's path: the remaining arguments joined by single blanks,
// without one pair of enclosing double quotes.
ShellCommandLine ParseCommandLine(const QStringList& arguments);

// "~/games/velmora/sky/" for a folder under the home folder; the folder itself otherwise.
QString ShownFolder(const std::filesystem::path& folder);

}  // namespace zenivor
