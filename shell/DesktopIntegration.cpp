#include "shell/DesktopIntegration.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "shell/frmZenivor.h"
#include "util/Version.h"

namespace zenivor {
namespace {

constexpr const char* kProgramName = "zenivor";

// Laid out as QCommandLineParser lays out its help, which needs the application object.
QString HelpText() {
    return QStringLiteral(
               "Usage: %1 [options] [STRIP]\n"
               "Makes the six files of a Velmora sky cube from a panorama strip, in a window.\n"
               "\n"
               "Options:\n"
               "  -h, --help     Displays help on commandline options.\n"
               "  -V, --version  Displays version information.\n"
               "  -v, --verbose  Prints each status text on standard error too.\n"
               "\n"
               "Arguments:\n"
               "  STRIP          The strip (TGA, PNG or JPEG) to convert at start-up, into the\n"
               "                 remembered folder. All arguments together are its name.\n")
        .arg(QLatin1String(kProgramName));
}

}  // namespace

void DescribeApplication() {
    QCoreApplication::setApplicationName(QLatin1String(kProgramName));
    QCoreApplication::setApplicationVersion(QLatin1String(kVersionText));
    QGuiApplication::setDesktopFileName(QLatin1String(kApplicationId));
}

std::optional<QString> StandardOptionAnswer(const QStringList& arguments) {
    if (arguments.size() != 2) return std::nullopt;
    const QString& option = arguments[1];
    if (option == QLatin1String("-h") || option == QLatin1String("--help")) return HelpText();
    if (option == QLatin1String("-V") || option == QLatin1String("--version"))
        return QStringLiteral("%1 %2\n").arg(QLatin1String(kProgramName), QLatin1String(kVersionText));
    return std::nullopt;
}

QIcon WindowIcon() { return QIcon::fromTheme(QLatin1String(kApplicationId), ProgramIcon()); }

QStringList DroppedFiles(const QMimeData& data) {
    QStringList files;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile() || QFileInfo(url.toLocalFile()).isDir()) return {};
        files << url.toLocalFile();
    }
    return files;
}

}  // namespace zenivor
