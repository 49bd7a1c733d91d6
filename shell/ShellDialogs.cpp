#include "shell/ShellDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

#include "util/SettingsStore.h"

namespace zenivor {
namespace {

// How long the desktop's opener may take to say whether it could open a document.
constexpr int kOpenerWaitMs = 5000;

}  // namespace

void QtShellDialogs::ShowMessage(const QString& text) {
    QMessageBox::information(parent_, QString::fromUtf8(kProgramTitle), text, QMessageBox::Ok);
}

QStringList QtShellDialogs::ChooseInputFiles(const OpenDialogSetup& setup) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(setup.several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(setup.defaultSuffix);
    dialog.setNameFilters(setup.nameFilters);
    if (!setup.initialFolder.isEmpty()) lastFolder_ = setup.initialFolder;
    if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QString QtShellDialogs::ChooseFolder(const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(parent_, title, start);
}

int QtShellDialogs::Ask(const QString& text, const QStringList& buttons) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kProgramTitle), text, QMessageBox::NoButton, parent_);
    std::vector<QAbstractButton*> added;
    for (const QString& caption : buttons) added.push_back(box.addButton(caption, QMessageBox::ActionRole));
    box.exec();
    const auto pressed = std::find(added.begin(), added.end(), box.clickedButton());
    return pressed == added.end() ? -1 : static_cast<int>(pressed - added.begin());
}

void QtShellDialogs::RunModal(QDialog& dialog) { dialog.exec(); }

// xdg-open, not QDesktopServices: only its exit status tells that no program could open the
// document (QDesktopServices reports success once the opener has started).
bool QtShellDialogs::OpenDocument(const QUrl& url) {
    auto* opener = new QProcess;
    opener->start(QStringLiteral("xdg-open"), {url.toString()});
    if (!opener->waitForStarted()) {
        delete opener;
        return false;
    }
    if (!opener->waitForFinished(kOpenerWaitMs)) {
        // Still at work after this long: it found a program, which keeps it busy.
        QObject::connect(opener, &QProcess::finished, opener, &QObject::deleteLater);
        return true;
    }
    const bool opened = opener->exitStatus() == QProcess::NormalExit && opener->exitCode() == 0;
    delete opener;
    return opened;
}

}  // namespace zenivor
