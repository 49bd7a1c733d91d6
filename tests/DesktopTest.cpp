// The window as a desktop program, on Qt's offscreen platform: dropped files, shortcut keys,
// --help and --version, and the names and icon it shares with its desktop entry.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <functional>
#include <memory>

#include "shell/DesktopIntegration.h"
#include "shell/modMain.h"
#include "tests/ShellFixture.h"
#include "tests/TestSupport.h"
#include "util/FileSystem.h"
#include "util/Version.h"

namespace zenivor::test {
namespace {

const std::string kDropRefusal = "Drop one strip file on the window to convert it.";

class DesktopTest : public ShellFixture {
protected:
    void SetUp() override {
        ShellFixture::SetUp();
        WriteBytes(programFolder_ / "Zenivor.html", {'<', 'p', '>'});
        Start({"zenivor"}, rememberedText_);
    }

    static std::size_t FilesIn(const std::filesystem::path& folder) {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
    }
    // Drags data over the window and drops it, as the desktop does; true when the drag was taken.
    bool Drop(QMimeData& data) {
        const QPoint where(200, 200);
        QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &enter);
        QDropEvent drop(QPointF(where), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
};

TEST_F(DesktopTest, DroppedStripIsConvertedAndItsFolderRemembered) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Utf8FromPath(strip_)))});
    EXPECT_TRUE(Drop(data));
    Settle();
    EXPECT_EQ(Status(), "AllDone");
    EXPECT_EQ(FilesIn(stripFolder_), 7u);  // the strip and its six files
    for (const char* name : kCubeFileNames) EXPECT_TRUE(std::filesystem::exists(stripFolder_ / name)) << name;
    EXPECT_TRUE(dialogs_.messages.empty());
    EXPECT_EQ(program_->LastPath(), Utf8FromPath(stripFolder_ / ""));
    Window()->itmFileExit()->trigger();
    EXPECT_EQ((settings_.values[{kAppName, kProgramTitle, kLastPathKey}]), Utf8FromPath(stripFolder_ / ""));
}

TEST_F(DesktopTest, DropsOfAnythingButOneFileAreRefused) {
    const auto second = stripFolder_ / "morning sky.tga";
    WriteTga(second, CoordinateImage(504, 504));
    const auto local = [](const std::filesystem::path& path) {
        return QUrl::fromLocalFile(QString::fromStdString(Utf8FromPath(path)));
    };
    const struct {
        const char* name;
        std::function<void(QMimeData&)> fill;
    } rows[] = {
        {"a file and a folder",
         [&](QMimeData& d) {
             d.setUrls({local(second), local(stripFolder_)});
         }},
        {"a web address", [](QMimeData& d) { d.setUrls({QUrl("https://example.org/sky.tga")}); }},
        {"a folder", [&](QMimeData& d) { d.setUrls({local(stripFolder_)}); }},
        {"text naming a file", [&](QMimeData& d) { d.setText(QString::fromStdString(Utf8FromPath(strip_))); }},
        {"no data at all", [](QMimeData&) {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        dialogs_.messages.clear();
        Window()->SetStatusText("before");
        QMimeData data;
        row.fill(data);
        Drop(data);
        EXPECT_EQ(dialogs_.messages, std::vector<std::string>{kDropRefusal});
        EXPECT_EQ(Status(), "before");
        EXPECT_EQ(program_->LastPath(), rememberedText_);
        EXPECT_EQ(FilesIn(stripFolder_), 2u);
        EXPECT_TRUE(std::filesystem::is_empty(remembered_));
    }
}

TEST_F(DesktopTest, ShortcutKeysTriggerTheirCommands) {
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::size_t dialogs, helpPages;
        int ended;
    } rows[] = {
        {"Ctrl+O opens", Qt::Key_O, Qt::ControlModifier, 1, 0, 0},
        {"F1 shows the help", Qt::Key_F1, Qt::NoModifier, 0, 1, 0},
        {"Ctrl+Q exits", Qt::Key_Q, Qt::ControlModifier, 0, 0, 1},
        {"O alone does nothing", Qt::Key_O, Qt::NoModifier, 0, 0, 0},
        {"Ctrl+H does nothing", Qt::Key_H, Qt::ControlModifier, 0, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        dialogs_ = ScriptedDialogs();
        ended_ = 0;
        settings_.writes = 0;
        QApplication::setActiveWindow(Window());
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window()));
        QTest::keyClick(Window(), row.key, row.modifiers);
        Settle();
        EXPECT_EQ(dialogs_.setups.size(), row.dialogs);
        EXPECT_EQ(dialogs_.opened.size(), row.helpPages);
        EXPECT_EQ(ended_, row.ended);
        EXPECT_EQ(settings_.writes, row.ended);
        EXPECT_TRUE(dialogs_.messages.empty());
    }
}

TEST(StandardOptions, OnlyALoneHelpOrVersionIsAnOption) {
    const std::string version = std::string("zenivor ") + kVersionText + "\n";
    const struct {
        QStringList arguments;
        std::optional<std::string> startOfAnswer;
    } rows[] = {
        {{"zenivor", "--version"}, version},
        {{"zenivor", "-V"}, version},
        {{"zenivor", "-v"}, std::nullopt},
        {{"zenivor", "--help"}, "Usage: zenivor [options] [STRIP]\n"},
        {{"zenivor", "-h"}, "Usage: zenivor [options] [STRIP]\n"},
        {{"zenivor"}, std::nullopt},
        {{"zenivor", "--help", "sky.tga"}, std::nullopt},
        {{"zenivor", "--version.tga"}, std::nullopt},
        {{"zenivor", "--verbose"}, std::nullopt},
        {{"zenivor", "sky.tga"}, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        const auto answer = StandardOptionAnswer(row.arguments);
        ASSERT_EQ(answer.has_value(), row.startOfAnswer.has_value());
        if (answer) {
            EXPECT_EQ(answer->toStdString().substr(0, row.startOfAnswer->size()), *row.startOfAnswer);
        }
    }
    EXPECT_NE(StandardOptionAnswer({"zenivor", "--help"})->indexOf("-V, --version"), -1);
    EXPECT_NE(StandardOptionAnswer({"zenivor", "--help"})->indexOf("-v, --verbose"), -1);
}

// The built program with a platform that cannot exist: anything that made a window would abort.
TEST(StandardOptions, TheProgramAnswersWithoutOpeningAWindow) {
    const struct {
        QStringList arguments;
        bool answers;
        std::string startOfOutput;
    } rows[] = {
        {{"--version"}, true, std::string("zenivor ") + kVersionText + "\n"},
        {{"--help"}, true, "Usage: zenivor [options] [STRIP]\n"},
        {{}, false, ""},
        {{"--version", "sky.tga"}, false, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "no-such-platform");
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ZENIVOR_PROGRAM), row.arguments);
        ASSERT_TRUE(program.waitForFinished(30000));
        const bool answered = program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
        EXPECT_EQ(answered, row.answers);
        EXPECT_EQ(program.readAllStandardOutput().toStdString().substr(0, row.startOfOutput.size()), row.startOfOutput);
    }
}

// The names CMake gives the installed files and the names the program asks for must agree.
TEST_F(DesktopTest, WindowSharesItsNameAndIconWithTheDesktopEntry) {
    DescribeApplication();
    const QString entry = QStringLiteral(ZENIVOR_PACKAGING_DIR "/") + QGuiApplication::desktopFileName() + ".desktop";
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << entry.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    EXPECT_TRUE(lines.contains(QStringLiteral("Icon=") + kApplicationId));
    // Qt's X11 windows take their class from the application name (WM_CLASS "zenivor", "zenivor").
    EXPECT_TRUE(lines.contains(QStringLiteral("StartupWMClass=") + QCoreApplication::applicationName()));
    // A file opened from the file manager is shown, and asked about, before anything is written.
    EXPECT_TRUE(lines.contains(QStringLiteral("Exec=zenivor ") + kAskOption + " %f"));

    // Without an installed icon the drawn one shows: its sun at (11, 5).
    EXPECT_EQ(Window()->windowIcon().pixmap(32, 32).toImage().pixelColor(11, 5), QColor(255, 240, 190));

    const QStringList searchPaths = QIcon::themeSearchPaths();
    const QString themeName = QIcon::themeName();
    const auto theme = dir_ / "icons" / "hicolor";
    std::filesystem::create_directories(theme / "32x32" / "apps");
    const std::string index =
        "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps\n\n[32x32/apps]\nSize=32\nType=Fixed\n";
    WriteBytes(theme / "index.theme", std::vector<std::uint8_t>(index.begin(), index.end()));
    const std::string icon = std::string("32x32/apps/") + kApplicationId + ".png";
    std::filesystem::copy_file(std::filesystem::path(ZENIVOR_PACKAGING_DIR) / "icons" / "hicolor" / icon, theme / icon);
    QIcon::setThemeSearchPaths({QString::fromStdString(Utf8FromPath(dir_ / "icons"))});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const QImage installed(QString::fromStdString(Utf8FromPath(theme / icon)));
    // Compared premultiplied, as the icon keeps its pixmaps.
    constexpr auto kFormat = QImage::Format_ARGB32_Premultiplied;
    EXPECT_EQ(WindowIcon().pixmap(32, 32).toImage().convertToFormat(kFormat), installed.convertToFormat(kFormat));
    QIcon::setThemeSearchPaths(searchPaths);
    QIcon::setThemeName(themeName);
}

}  // namespace
}  // namespace zenivor::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
