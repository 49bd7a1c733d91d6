// The desktop window on Qt's offscreen platform, with the dialogs and the settings store
// replaced: start-up, File > Open, the remembered folder, exit and the window's layout.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>

#include <QKeyEvent>
#include <QPushButton>

#include "about/frmAbout.h"
#include "conversion/Equirect.h"
#include "shell/PictureBox.h"
#include "shell/modMain.h"
#include "tests/FailingFileSystem.h"
#include "tests/ShellFixture.h"
#include "tests/TestSupport.h"
#include "util/FileSystem.h"

namespace zenivor::test {
namespace {

class ShellTest : public ShellFixture {
protected:
    std::string StoredLastPath() { return settings_.Value(kLastPathKey); }
    static bool AllSixIn(const std::filesystem::path& folder) {
        for (const char* name : kCubeFileNames)
            if (!std::filesystem::exists(folder / name)) return false;
        return true;
    }
};

TEST_F(ShellTest, StartWithoutArgumentConvertsNothing) {
    modMain& program = Start({"zenivor"}, rememberedText_);
    EXPECT_TRUE(program.Window()->isVisible());
    EXPECT_EQ(dialogs_.owner, program.Window()) << "messages belong to the window";
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(program.LastPath(), rememberedText_);
    PictureBox* picture = program.Window()->picMap();
    EXPECT_EQ(picture->Surface(), RgbImage::Filled(504, 504, picture->Background()));
    EXPECT_TRUE(std::filesystem::is_empty(remembered_));
}

TEST_F(ShellTest, CommandLineConvertsIntoTheRememberedFolder) {
    const QString strip = QString::fromStdString(Utf8FromPath(strip_));
    const struct {
        const char* name;
        QStringList arguments;
        bool verbose;
    } rows[] = {
        {"one argument", {"zenivor", strip}, false},
        {"quoted", {"zenivor", "\"" + strip + "\""}, false},
        {"split at its blank", ("zenivor " + strip).split(' '), false},
        {"after --verbose", {"zenivor", "--verbose", strip}, true},
        {"after -v and --", QStringList{"zenivor", "-v", "--"} + strip.split(' '), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* name : kCubeFileNames) std::filesystem::remove(remembered_ / name);
        echoed_.clear();
        modMain& program = Start(row.arguments, rememberedText_);
        Settle();
        EXPECT_EQ(Status(), "AllDone");
        EXPECT_TRUE(AllSixIn(remembered_));
        EXPECT_EQ(program.LastPath(), rememberedText_);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        const std::vector<std::string> texts = {"Processing " + Utf8FromPath(strip_),
                                                "Saving West",
                                                "Saving South",
                                                "Saving North",
                                                "Saving East",
                                                "Getting North sky.",
                                                "Getting West sky.",
                                                "Getting South sky.",
                                                "Getting East sky.",
                                                "Saving sky.",
                                                "Saving ground",
                                                "AllDone"};
        EXPECT_EQ(echoed_, row.verbose ? texts : std::vector<std::string>{});
    }
    // A name that only looks like the option is a file name after "--".
    EXPECT_EQ(ParseCommandLine({"zenivor", "--", "-v"}).path, "-v");
    EXPECT_FALSE(ParseCommandLine({"zenivor", "--", "-v"}).verbose);
    EXPECT_EQ(ParseCommandLine({"zenivor", "a", "-v"}).path, "a -v");
}

TEST_F(ShellTest, PictureShowsTheSkyCapAfterAConversion) {
    modMain& program = Start({"zenivor", QString::fromStdString(Utf8FromPath(strip_))}, rememberedText_);
    Settle();
    ASSERT_EQ(Status(), "AllDone");
    PictureBox* picture = program.Window()->picMap();
    const QImage shown = picture->grab(picture->contentsRect()).toImage();
    ASSERT_EQ(shown.size(), QSize(504, 504));
    const RgbImage cap = ReadTga(remembered_ / "F0050001.tga");
    for (const auto& [x, y] : {std::pair{0, 0}, {250, 10}, {10, 250}, {252, 252}, {503, 503}, {400, 300}}) {
        const Rgb expected = cap.At(x, y);
        EXPECT_EQ(shown.pixelColor(x, y), QColor(expected[0], expected[1], expected[2])) << x << "," << y;
    }
}

TEST_F(ShellTest, FailedConversionKeepsItsTextAndRestoresTheCursor) {
    const struct {
        const char* name;
        std::function<void(FailingFileSystem&)> fault;
        std::string status;
    } rows[] = {
        {"a full disk at the third face",
         [](FailingFileSystem& files) {
             files.FailOn(Call::Stage, 3, Error{errc::FileWrite, ENOSPC});
         },
         "Save " + Utf8FromPath(remembered_ / "F0010001.tga") + " error: 28 (No space left on device)"},
        {"no ground template", [this](FailingFileSystem&) { std::filesystem::remove(programFolder_ / "F0060001.tga"); },
         "Copy " + Utf8FromPath(programFolder_ / "F0060001.tga") + " error: 2 (No such file or directory)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FailingFileSystem files;
        row.fault(files);
        files_ = &files;
        Start({"zenivor", Text(strip_)}, rememberedText_);
        Settle();
        EXPECT_EQ(Status(), row.status);
        EXPECT_EQ(Window()->lblFolder()->text().toStdString(),
                  "Nothing was replaced in " + Utf8FromPath(remembered_ / ""));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
}

TEST_F(ShellTest, RefusedStripSaysWhyInTheStatusLineAndClearsThePicture) {
    modMain& program = Start({"zenivor", QString::fromStdString(Utf8FromPath(strip_))}, rememberedText_);
    Settle();
    ASSERT_EQ(Status(), "AllDone");
    const auto missing = dir_ / "missing.tga";
    dialogs_.answer = QString::fromStdString(Utf8FromPath(missing));
    program.Window()->itmFileOpen()->trigger();
    Settle();
    const std::string refusal = "Error getting file size of " + Utf8FromPath(missing) + " (no such file)";
    EXPECT_EQ(dialogs_.messages, std::vector<std::string>{refusal});
    EXPECT_EQ(Status(), refusal);
    PictureBox* picture = program.Window()->picMap();
    EXPECT_EQ(picture->Surface(), RgbImage::Filled(504, 504, picture->Background()));
}

TEST_F(ShellTest, FileOpenRemembersTheChosenFolder) {
    modMain& program = Start({"zenivor"}, rememberedText_);
    dialogs_.answer = QString::fromStdString(Utf8FromPath(strip_));
    program.Window()->itmFileOpen()->trigger();
    Settle();
    ASSERT_EQ(dialogs_.setups.size(), 1u);
    const OpenDialogSetup& setup = dialogs_.setups[0];
    EXPECT_EQ(setup.defaultSuffix, "tga");
    EXPECT_EQ(setup.nameFilters, QStringList({"TGA file (504x504,1008x504,2016x504) (*.tga *.TGA)", "All Files (*)",
                                              "Panoramas (*.tga *.png *.jpg *.jpeg *.tif *.tiff *.webp *.exr *.hdr "
                                              "*.TGA *.PNG *.JPG *.JPEG *.TIF *.TIFF *.WEBP *.EXR *.HDR)"}));
    EXPECT_EQ(setup.initialFolder.toStdString(), rememberedText_);
    EXPECT_EQ(program.LastPath(), Utf8FromPath(stripFolder_ / ""));
    EXPECT_EQ(Status(), "AllDone");
    EXPECT_TRUE(AllSixIn(stripFolder_));
    program.Window()->itmFileOpen()->trigger();
    Settle();
    EXPECT_EQ(dialogs_.setups.back().initialFolder.toStdString(), Utf8FromPath(stripFolder_ / ""));
}

TEST_F(ShellTest, OpensPngStripsAndProjectsPanoramasFromTheirOwnMenuItem) {
    modMain& program = Start({"zenivor"}, rememberedText_);
    // A PNG strip, written by Qt's own encoder, converts as its TGA does.
    const RgbImage strip = CoordinateImage(1008, 504);
    const QImage pixels(strip.pixels.data(), strip.width, strip.height, static_cast<qsizetype>(strip.RowBytes()),
                        QImage::Format_BGR888);
    const auto png = stripFolder_ / "strip.PNG";
    ASSERT_TRUE(pixels.save(QString::fromStdString(Utf8FromPath(png)), "PNG"));
    dialogs_.answer = QString::fromStdString(Utf8FromPath(png));
    program.Window()->itmFileOpen()->trigger();
    Settle();
    EXPECT_EQ(Status(), "AllDone");
    EXPECT_EQ(ReadTga(stripFolder_ / "F0010001.tga").At(0, 0), CoordinateColour(504, 0));

    const auto panorama = dir_ / "360" / "pano.tga";
    std::filesystem::create_directories(panorama.parent_path());
    WriteTga(panorama, CoordinateImage(1024, 512));
    dialogs_.answer = QString::fromStdString(Utf8FromPath(panorama));
    program.Window()->itmFileOpenPanorama()->trigger();
    Settle();
    EXPECT_EQ(dialogs_.setups.back().nameFilters.front(),
              "Panoramas (*.tga *.png *.jpg *.jpeg *.tif *.tiff *.webp *.exr *.hdr "
              "*.TGA *.PNG *.JPG *.JPEG *.TIF *.TIFF *.WEBP *.EXR *.HDR)");
    // Shown first, written once the user says so.
    ASSERT_TRUE(Window()->PanoramaControlsShown());
    EXPECT_FALSE(std::filesystem::exists(panorama.parent_path() / "F0060001.tga"));
    Window()->WritePanorama();
    Settle();
    EXPECT_EQ(Status(), "AllDone");
    EXPECT_EQ(program.LastPath(), Utf8FromPath(panorama.parent_path() / ""));
    EXPECT_EQ(ReadTga(panorama.parent_path() / "F0060001.tga"), LinearProjection(CoordinateImage(1024, 512))[5]);

    // A square strip is no panorama: refused, and said so.
    const auto square = dir_ / "square.tga";
    WriteTga(square, CoordinateImage(504, 504));
    dialogs_.answer = QString::fromStdString(Utf8FromPath(square));
    program.Window()->itmFileOpenPanorama()->trigger();
    Settle();
    EXPECT_EQ(Status(), "A 360-degree panorama needs to be twice as wide as it is high");
}

TEST_F(ShellTest, CancelledFileOpenKeepsTheRememberedFolder) {
    modMain& program = Start({"zenivor"}, rememberedText_);
    dialogs_.answer.clear();
    program.Window()->itmFileOpen()->trigger();
    EXPECT_EQ(Status(), "Nothing to do");
    EXPECT_EQ(program.LastPath(), rememberedText_);
    program.Window()->itmFileExit()->trigger();
    EXPECT_EQ(StoredLastPath(), rememberedText_);
}

TEST_F(ShellTest, EveryWayOutSavesTheRememberedFolderAndEnds) {
    const struct {
        const char* name;
        bool unwritable;
        void (*leave)(modMain&);
    } rows[] = {
        {"File > Exit", false, [](modMain& p) { p.Window()->itmFileExit()->trigger(); }},
        {"closing the window", false, [](modMain& p) { p.Window()->close(); }},
        {"unwritable store", true, [](modMain& p) { p.Window()->close(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        settings_ = MemorySettings();
        ended_ = 0;
        modMain& program = Start({"zenivor"}, "");
        dialogs_.answer = QString::fromStdString(Utf8FromPath(strip_));
        program.Window()->itmFileOpen()->trigger();
        Settle();
        settings_.unwritable = row.unwritable;
        row.leave(program);
        EXPECT_EQ(settings_.writes, 2) << "the remembered folder and the one recent file";
        EXPECT_EQ(StoredLastPath(), row.unwritable ? "" : Utf8FromPath(stripFolder_ / ""));
        EXPECT_EQ(settings_.Value("Recent1"), row.unwritable ? "" : "strip:" + Utf8FromPath(strip_));
        EXPECT_EQ(ended_, 1);
    }
}

TEST_F(ShellTest, WindowLayoutStaysPutWhenResized) {
    modMain& program = Start({"zenivor"}, "");
    frmZenivor* window = program.Window();
    EXPECT_EQ(window->windowTitle(), "Zenivor");
    EXPECT_FALSE(window->windowIcon().isNull());
    for (const QSize size : {QSize(531, 600), QSize(900, 800), QSize(1600, 900), QSize(300, 200)}) {
        SCOPED_TRACE(std::to_string(size.width()) + " x " + std::to_string(size.height()));
        window->resize(size);
        EXPECT_EQ(window->picMap()->geometry(), QRect(12, 8, 508, 508));
        EXPECT_EQ(window->picMap()->contentsRect(), QRect(2, 2, 504, 504));
        const QRect status = window->lblStatus()->geometry();
        EXPECT_EQ(status.topLeft(), QPoint(12, 524));
        EXPECT_EQ(status.height(), 17);
        EXPECT_GE(status.width(), 329);
        // The cube pane takes what the window has beside the picture.
        EXPECT_GE(window->Pane()->geometry().left(), 531);
        EXPECT_EQ(window->Pane()->geometry().right() + 1 + 12, window->Pane()->parentWidget()->width());
    }
}

TEST_F(ShellTest, MenusHaveTheirCaptionsAndShortcuts) {
    modMain& program = Start({"zenivor"}, "");
    QStringList captions;
    for (QAction* menu : program.Window()->menuBar()->actions()) {
        captions << menu->text();
        for (QAction* item : menu->menu()->actions()) {
            captions << (item->isSeparator() ? "-" : item->text() + "|" + item->shortcut().toString());
            // Undo and the recent files wait for a conversion to undo or a file to list.
            EXPECT_EQ(item->isEnabled(),
                      item != program.Window()->itmEditUndo() && item->menu() != program.Window()->mnuFileOpenRecent())
                << item->text().toStdString();
        }
    }
    EXPECT_EQ(captions,
              QStringList({"&File", "&Open|Ctrl+O", "Open &Panorama...|Ctrl+Shift+O", "Open &Cube...|Ctrl+Shift+C",
                           "Open &Recent|", "Output &Folder...|", "Open Output Fol&der|Ctrl+D", "-", "E&xit|Ctrl+Q",
                           "&Edit", "&Undo Conversion|Ctrl+Z", "&View", "Unfolded &Cross|Ctrl+1", "&Look Around|Ctrl+2",
                           "&Help", "&Help|F1", "-", "&About|"}));
}

TEST_F(ShellTest, HelpOpensThePageBesideTheProgram) {
    const std::string page = Utf8FromPath(programFolder_ / "Zenivor.html");
    const struct {
        const char* name;
        bool pagePresent;
        bool launcherWorks;
        std::vector<std::string> messages;
    } rows[] = {
        {"page present", true, true, {}},
        {"page missing", false, true, {"Error launching help file.\n\n" + page + " is missing."}},
        {"launcher fails",
         true,
         false,
         {"Error launching help file.\n\nNo program could open it: open " + page + " in a web browser."}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(programFolder_ / "Zenivor.html");
        if (row.pagePresent) WriteBytes(programFolder_ / "Zenivor.html", {'<', 'p', '>'});
        dialogs_ = ScriptedDialogs();
        dialogs_.launcherWorks = row.launcherWorks;
        modMain& program = Start({"zenivor"}, rememberedText_);
        program.Window()->SetStatusText("before");
        program.Window()->itmHelpHelp()->trigger();
        EXPECT_EQ(dialogs_.messages, row.messages);
        if (row.pagePresent) {
            ASSERT_EQ(dialogs_.opened.size(), 1u);
            EXPECT_EQ(dialogs_.opened[0].toLocalFile().toStdString(), Utf8FromPath(programFolder_ / "Zenivor.html"));
        } else {
            EXPECT_TRUE(dialogs_.opened.empty());
        }
        EXPECT_EQ(Status(), "before");
        EXPECT_EQ(program.LastPath(), rememberedText_);
    }
}

TEST_F(ShellTest, HelpAboutIsModalAndFreshEachTime) {
    modMain& program = Start({"zenivor"}, "");
    std::vector<QPointer<frmAbout>> shown;
    dialogs_.whileModal = [&](QDialog& dialog) {
        auto* about = dynamic_cast<frmAbout*>(&dialog);
        ASSERT_NE(about, nullptr);
        EXPECT_FALSE(about->property("zenivorTestShownBefore").toBool()) << "a dialog is never reused";
        about->setProperty("zenivorTestShownBefore", true);
        EXPECT_TRUE(about->isModal());
        about->show();
        EXPECT_EQ(QApplication::activeModalWidget(), about);  // the main window takes no input
        EXPECT_EQ(about->windowTitle(), "About Zenivor");
        shown.emplace_back(about);
        about->cmdOK()->click();
        EXPECT_FALSE(about->isVisible());
    };
    program.Window()->itmHelpAbout()->trigger();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].isNull()) << "closed dialogs are gone, not kept for the next time";
    program.Window()->itmHelpAbout()->trigger();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].isNull());
    EXPECT_EQ(dialogs_.modalRuns, 2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(settings_.values.count({kAppName, kProgramTitle, "About ZenivorTop"}), 1u);
    EXPECT_EQ(settings_.values.count({kAppName, kProgramTitle, "About ZenivorLeft"}), 1u);
}

QRect FromTwips(int left, int top, int width, int height) { return {left / 15, top / 15, width / 15, height / 15}; }

TEST(AboutDialog, TextsAndLayout) {
    MemorySettings settings;
    RecordedMessages messages;
    frmAbout about(settings, messages);
    EXPECT_EQ(about.windowTitle(), "About Zenivor");
    EXPECT_EQ(about.size(), QSize(406, 222));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_FALSE(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(about.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(about.lblTitle()->text(), "Zenivor for Creating Velmora Sky Cubes");
    EXPECT_TRUE(about.lblTitle()->font().bold());
    // The revision is never shown (1.1.0 gives Version 1.1).
    EXPECT_EQ(about.lblVersion()->text(), "Version 1.1");
    EXPECT_EQ(about.lblDescription()->text(),
              "This program will take a 504x504, 1008x504, or a 2016x504 TGA file and make all 6 files required "
              "for making a skycube.");
    EXPECT_FALSE(about.lblAuthorInfo()->text().isEmpty());
    EXPECT_EQ(about.picIcon()->pixmap().size(), QSize(160, 97));
    EXPECT_TRUE(about.cmdOK()->isDefault());
    const std::pair<QWidget*, QRect> rows[] = {
        {about.lblTitle(), FromTwips(180, 120, 5685, 480)},
        {about.picIcon(), FromTwips(120, 660, 2460, 1515)},
        {about.lblVersion(), FromTwips(2700, 780, 2265, 225)},
        {about.lblDescription(), FromTwips(2640, 1140, 3225, 1230)},
        {about.lblAuthorInfo(), FromTwips(300, 2820, 3870, 345)},
        {about.cmdOK(), FromTwips(4320, 2820, 1260, 345)},
    };
    for (const auto& [widget, geometry] : rows)
        EXPECT_EQ(widget->geometry(), geometry) << widget->metaObject()->className();
}

TEST(AboutDialog, OkHasTheFocusAndEnterOrEscapeClose) {
    for (const int key : {Qt::Key_Escape, Qt::Key_Return}) {
        MemorySettings settings;
        RecordedMessages messages;
        frmAbout about(settings, messages);
        about.show();
        QApplication::setActiveWindow(&about);
        EXPECT_EQ(about.focusWidget(), about.cmdOK());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(about.focusWidget(), &press);
        EXPECT_FALSE(about.isVisible()) << key;
        EXPECT_EQ(settings.values.count({kAppName, kProgramTitle, "About ZenivorTop"}), 1u) << key;
    }
}

TEST(AboutDialog, ReappearsWhereItWasLeft) {
    MemorySettings settings;
    RecordedMessages messages;
    QPoint movedTo;
    {
        frmAbout first(settings, messages);
        first.show();
        const QRect screen = first.screen()->geometry();
        // Centred as it loads, before the window system has put a frame around it.
        EXPECT_NEAR(first.pos().x(), (screen.width() - first.width()) / 2.0, 1);
        EXPECT_NEAR(first.pos().y(), (screen.height() - first.height()) / 2.0, 1);
        first.move(37, 41);
        movedTo = first.pos();
        first.close();  // the window's own close command
    }
    const MemorySettings::Key leftKey{kAppName, kProgramTitle, "About ZenivorLeft"};
    EXPECT_EQ(settings.values[leftKey], std::to_string(movedTo.x() * 15));
    frmAbout second(settings, messages);
    second.show();
    EXPECT_EQ(second.pos(), movedTo);
}

}  // namespace
}  // namespace zenivor::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
