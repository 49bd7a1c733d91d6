#pragma once
// The dialogs the window opens, behind an interface so that tests answer them.

#include <QString>
#include <QStringList>
#include <string>

#include "legacy/Reporter.h"

class QDialog;
class QUrl;
class QWidget;

namespace zenivor {

struct OpenDialogSetup {
    QString defaultSuffix;
    QStringList nameFilters;
    QString initialFolder;  // empty: where the dialog was last left in this run
    bool several = false;   // more than one file may be chosen
};

// The utilities' reports are shown in the message box.
class ShellDialogs : public MessageReporter {
public:
    // A message with an OK button only, captioned with the program's title.
    virtual void ShowMessage(const QString& text) = 0;
    void Report(const std::string& text) final { ShowMessage(QString::fromStdString(text)); }
    // The window that messages and dialogs belong to, once there is one.
    virtual void SetOwner(QWidget* owner) = 0;
    // The chosen files' full paths (one unless setup.several), or none when the dialog was
    // cancelled.
    virtual QStringList ChooseInputFiles(const OpenDialogSetup& setup) = 0;
    // A folder chosen under title, starting in start; empty when cancelled.
    virtual QString ChooseFolder(const QString& title, const QString& start) = 0;
    // A question with these buttons; the index of the one pressed, or -1 when closed.
    virtual int Ask(const QString& text, const QStringList& buttons) = 0;
    // Shows dialog modally and returns once it has closed.
    virtual void RunModal(QDialog& dialog) = 0;
    // Opens a document or folder with the desktop's registered program; false when that fails.
    virtual bool OpenDocument(const QUrl& url) = 0;
};

// Qt's message box and dialogs, with one file-open dialog's folder kept for the whole run.
class QtShellDialogs final : public ShellDialogs {
public:
    void ShowMessage(const QString& text) override;
    void SetOwner(QWidget* owner) override { parent_ = owner; }
    QStringList ChooseInputFiles(const OpenDialogSetup& setup) override;
    QString ChooseFolder(const QString& title, const QString& start) override;
    int Ask(const QString& text, const QStringList& buttons) override;
    void RunModal(QDialog& dialog) override;
    bool OpenDocument(const QUrl& url) override;

private:
    QWidget* parent_ = nullptr;
    QString lastFolder_;
};

}  // namespace zenivor
