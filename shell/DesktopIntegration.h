#pragma once
// How the program meets the desktop it runs on: its name and version for the system, the
// answers to --help and --version, the icon from the theme and the file a drop carries.

#include <QIcon>
#include <QString>
#include <QStringList>
#include <optional>

class QMimeData;

namespace zenivor {

// The reverse-DNS name of the desktop entry, the metainfo and the icon.
inline constexpr const char* kApplicationId = ZENIVOR_APP_ID;

// Names the program, its version and its desktop entry; callable before the application object exists.
void DescribeApplication();

// What to print for a command line that is only -h/--help or -V/--version; nothing for any other,
// which names a strip. arguments include the program's name.
std::optional<QString> StandardOptionAnswer(const QStringList& arguments);

// The installed icon from the desktop's theme, the drawn one where none is installed.
QIcon WindowIcon();

// The local files a drop carries; none when it carries a folder, a web address or no file at all.
QStringList DroppedFiles(const QMimeData& data);

}  // namespace zenivor
