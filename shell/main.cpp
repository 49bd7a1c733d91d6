#include <QApplication>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "conversion/DataFiles.h"
#include "shell/DesktopIntegration.h"
#include "shell/ShellDialogs.h"
#include "shell/modMain.h"
#include "util/IniSettingsStore.h"
#include "util/Interruptions.h"
#include "util/ProgramFolder.h"

int main(int argc, char** argv) {
    zenivor::DescribeApplication();
    // Answered before the application object exists, so they need no display.
    QStringList commandLine;
    for (int i = 0; i < argc; ++i) commandLine << QString::fromLocal8Bit(argv[i]);
    if (const auto answer = zenivor::StandardOptionAnswer(commandLine)) {
        std::fputs(answer->toLocal8Bit().constData(), stdout);
        return 0;
    }
    // Before any thread starts: an ending signal (a logout's SIGTERM, say) closes the window as
    // File > Exit does, never in the middle of a conversion's renames; a second one ends it at once.
    ::signal(SIGXFSZ, SIG_IGN);
    zenivor::WatchEndingSignals([](int signal, int count) {
        if (count > 1) zenivor::EndLikeSignal(signal);
        if (qApp != nullptr)
            QMetaObject::invokeMethod(
                qApp, [] { QApplication::closeAllWindows(); }, Qt::QueuedConnection);
    });
    QApplication application(argc, argv);
    zenivor::IniSettingsStore settings;
    zenivor::QtShellDialogs dialogs;
    const std::filesystem::path data = zenivor::DataFolder(zenivor::ProgramFolder(argv[0]));
    zenivor::modMain program(
        {.settings = settings,
         .dialogs = dialogs,
         .files = zenivor::SystemFileSystem(),
         .programFolder = data,
         .endProgram = [] { QCoreApplication::quit(); },
         .groundTemplate = zenivor::GroundTemplate(data),
         .verboseOutput = [](const std::string& text) { std::cerr << "zenivor: " << text << '\n'; }});
    program.Main(QApplication::arguments());
    return QApplication::exec();
}
