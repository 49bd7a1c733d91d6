#pragma once
// A stand-in for the dialogs, so shell tests answer and record them.

#include <QUrl>
#include <functional>

#include "shell/ShellDialogs.h"

namespace zenivor::test {

class ScriptedDialogs final : public ShellDialogs {
public:
    void ShowMessage(const QString& text) override { messages.push_back(text.toStdString()); }
    QString ChooseInputFile(const OpenDialogSetup& setup) override {
        setups.push_back(setup);
        return answer;
    }
    void RunModal(QDialog& dialog) override {
        ++modalRuns;
        if (whileModal) whileModal(dialog);
    }
    bool OpenDocument(const QUrl& url) override {
        opened.push_back(url);
        return launcherWorks;
    }
    QString answer;
    int modalRuns = 0;
    std::function<void(QDialog&)> whileModal;
    std::vector<QUrl> opened;
    bool launcherWorks = true;
    std::vector<std::string> messages;
    std::vector<OpenDialogSetup> setups;
};

}  // namespace zenivor::test
