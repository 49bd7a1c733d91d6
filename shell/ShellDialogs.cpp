#include "shell/ShellDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

#include "util/SettingsStore.h"

namespace zenivor {

void QtShellDialogs::ShowMessage(const QString& text) {
    QMessageBox::information(parent_, QString::fromUtf8(kProgramTitle), text, QMessageBox::Ok);
}

QString QtShellDialogs::ChooseInputFile(const OpenDialogSetup& setup) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(setup.defaultSuffix);
    dialog.setNameFilters(setup.nameFilters);
    if (!setup.initialFolder.isEmpty()) lastFolder_ = setup.initialFolder;
    if (!lastFolder_.isEmpty()) dialog.setDirectory(lastFolder_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void QtShellDialogs::RunModal(QDialog& dialog) { dialog.exec(); }

bool QtShellDialogs::OpenDocument(const QUrl& url) { return QDesktopServices::openUrl(url); }

}  // namespace zenivor
