#include <QApplication>

#include "shell/QtSettingsStore.h"
#include "shell/ShellDialogs.h"
#include "shell/modMain.h"
#include "util/MessageHook.h"
#include "util/ProgramFolder.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    zenivor::QtSettingsStore settings;
    zenivor::QtShellDialogs dialogs(nullptr);
    zenivor::SetMessageHook([&dialogs](const std::string& text) { dialogs.ShowMessage(QString::fromStdString(text)); });
    zenivor::modMain program({settings, dialogs, zenivor::ProgramFolder(argv[0]), [] { QCoreApplication::quit(); }});
    program.Main(QApplication::arguments());
    return QApplication::exec();
}
