#pragma once
// What the shell tests share: a stand-in for the dialogs, which answers and records them, and a
// program started on its own folders, settings and dialogs.

#include <gtest/gtest.h>
#include <QUrl>

#include <QLabel>
#include <filesystem>
#include <functional>
#include <memory>

#include "shell/CubePane.h"
#include "shell/ShellDialogs.h"
#include "shell/StatusLine.h"
#include "shell/modMain.h"
#include "tests/TestSupport.h"
#include "util/FileSystem.h"

namespace zenivor::test {

class ScriptedDialogs final : public ShellDialogs {
public:
    void ShowMessage(const QString& text) override { messages.push_back(text.toStdString()); }
    QStringList ChooseInputFiles(const OpenDialogSetup& setup) override {
        setups.push_back(setup);
        if (!answers.isEmpty()) return answers;
        return answer.isEmpty() ? QStringList() : QStringList{answer};
    }
    QString ChooseFolder(const QString& title, const QString&) override {
        folderTitles.push_back(title.toStdString());
        return folderAnswer;
    }
    int Ask(const QString& text, const QStringList&) override {
        questions.push_back(text.toStdString());
        return askAnswer;
    }
    void RunModal(QDialog& dialog) override {
        ++modalRuns;
        if (whileModal) whileModal(dialog);
    }
    void SetOwner(QWidget* window) override { owner = window; }
    bool OpenDocument(const QUrl& url) override {
        opened.push_back(url);
        return launcherWorks;
    }
    QWidget* owner = nullptr;
    QString answer;        // the one file the open dialog returns
    QStringList answers;   // or these, when several are chosen
    QString folderAnswer;  // the folder dialog's
    int askAnswer = -1;    // the button a question is answered with
    std::vector<std::string> folderTitles;
    std::vector<std::string> questions;
    int modalRuns = 0;
    std::function<void(QDialog&)> whileModal;
    std::vector<QUrl> opened;
    bool launcherWorks = true;
    std::vector<std::string> messages;
    std::vector<OpenDialogSetup> setups;
};

// A program folder with the ground template, a remembered folder and a 1008 strip in a folder
// of its own, whose names have blanks.
class ShellFixture : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& folder : {programFolder_, remembered_, stripFolder_})
            std::filesystem::create_directories(folder);
        WriteTga(programFolder_ / "F0060001.tga", CoordinateImage(504, 504));
        WriteTga(strip_, CoordinateImage(1008, 504));
    }

    // Starts the program as its command line would, with storedLastPath remembered.
    modMain& Start(const QStringList& arguments, const std::string& storedLastPath) {
        if (!storedLastPath.empty()) settings_.values[{kAppName, kProgramTitle, kLastPathKey}] = storedLastPath;
        program_ = std::make_unique<modMain>(
            ShellEnvironment{.settings = settings_,
                             .dialogs = dialogs_,
                             .files = *files_,
                             .programFolder = programFolder_,
                             .endProgram = [this] { ++ended_; },
                             .undoFolder = dir_ / "cache" / "undo",
                             .verboseOutput = [this](const std::string& text) { echoed_.push_back(text); }});
        program_->Main(arguments);
        return *program_;
    }
    frmZenivor* Window() const { return program_->Window(); }
    // Lets the conversion the last command started run to its end.
    void Settle() { program_->WaitForConversion(); }
    std::string Status() const { return Window()->lblStatus()->text().toStdString(); }
    static QString Text(const std::filesystem::path& path) { return QString::fromStdString(Utf8FromPath(path)); }

    TempDir dir_;
    std::filesystem::path programFolder_ = dir_ / "program";
    std::filesystem::path remembered_ = dir_ / "remembered";
    std::filesystem::path stripFolder_ = dir_ / "my strips";
    std::filesystem::path strip_ = stripFolder_ / "sky strip.tga";
    std::string rememberedText_ = Utf8FromPath(remembered_ / "");
    MemorySettings settings_;
    ScriptedDialogs dialogs_;
    FileSystem* files_ = &SystemFileSystem();
    int ended_ = 0;
    std::vector<std::string> echoed_;  // what --verbose printed
    std::unique_ptr<modMain> program_;
};

}  // namespace zenivor::test
