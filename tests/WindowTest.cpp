// The window as the place where a sky is made, on Qt's offscreen platform with the dialogs
// answered: the cube pane against the files, Undo, the desktop entry that asks first, panoramas
// offered and previewed, several files at once, and a status line whose whole text is reachable.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>

#include <chrono>

#include "conversion/Equirect.h"
#include "conversion/ProcessSky.h"
#include "shell/PictureBox.h"
#include "tests/ShellFixture.h"

namespace zenivor::test {
namespace {

using CubeBytes = std::vector<std::vector<std::uint8_t>>;

class WindowTest : public ShellFixture {
protected:
    static CubeBytes CubeIn(const std::filesystem::path& folder) { return CubeFileBytes(folder); }
    // A strip whose first pixel is stamped with seed, so that every conversion's cube differs.
    std::filesystem::path Strip(const std::string& name, int width, int seed) {
        RgbImage image = CoordinateImage(width, 504);
        image.Set(0, 0, {static_cast<std::uint8_t>(seed), 7, 7});
        auto path = stripFolder_ / name;
        WriteTga(path, image);
        return path;
    }
    void Open(const std::filesystem::path& file) {
        dialogs_.answer = Text(file);
        Window()->itmFileOpen()->trigger();
        Settle();
    }
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &enter);
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Window(), &drop);
        Settle();
    }
    static QUrl Url(const std::filesystem::path& path) { return QUrl::fromLocalFile(Text(path)); }
};

// What the pane shows is what was written: each cell of the cross is its file, pixel for pixel,
// and the look-around view straight at a face (90 degrees across) is that face.
TEST_F(WindowTest, TheCubePaneShowsTheSixFilesAsWritten) {
    Start({"zenivor", Text(strip_)}, rememberedText_);
    Settle();
    ASSERT_EQ(Status(), "AllDone");
    const CubePane& pane = *Window()->Pane();
    ASSERT_TRUE(pane.HasCube());
    for (const Face face : kAllFaces) {
        SCOPED_TRACE(FileNameOf(face));
        const RgbImage file = ReadTga(remembered_ / FileNameOf(face));
        const CrossCell cell = CrossCellOf(face);
        for (int y = 0; y < kFaceSize; y += 3)
            for (int x = 0; x < kFaceSize; x += 3)
                ASSERT_EQ(pane.Cross().At(cell.column * kFaceSize + x, cell.row * kFaceSize + y), file.At(x, y));
    }
    EXPECT_EQ(Window()->windowTitle().toStdString(), "Zenivor - " + ShownFolder(remembered_).toStdString());
    EXPECT_EQ(Window()->lblFolder()->text(), QStringLiteral("6 files in ") + ShownFolder(remembered_));
    const struct {
        Face face;
        double yaw, pitch;
    } views[] = {{Face::North, 0, 0}, {Face::East, 90, 0}, {Face::SkyCap, 0, 90}, {Face::Ground, 0, -90}};
    for (const auto& view : views) {
        SCOPED_TRACE(FileNameOf(view.face));
        Window()->Pane()->SetAngles({view.yaw, view.pitch, 90});
        const RgbImage shown = pane.View(kFaceSize, kFaceSize);
        const RgbImage file = ReadTga(remembered_ / FileNameOf(view.face));
        int worst = 0;
        for (std::size_t i = 0; i < shown.pixels.size(); ++i)
            worst = std::max(worst, std::abs(shown.pixels[i] - file.pixels[i]));
        EXPECT_LE(worst, 1);
    }
}

// Each Undo puts back, byte for byte, the cube the conversion before replaced; the cube a game
// had before the window's first conversion comes back last.
TEST_F(WindowTest, UndoPutsBackTheCubesThatConversionsReplaced) {
    MemoryHost host;
    ASSERT_EQ(
        ProcessSky(
            Utf8FromPath(Strip("game.tga", 504, 9)),
            {.host = host, .files = SystemFileSystem(), .lastPath = rememberedText_, .programFolder = programFolder_})
            .outcome,
        SkyOutcome::Completed);
    std::vector<CubeBytes> cubes{CubeIn(remembered_)};
    Start({"zenivor"}, rememberedText_);
    EXPECT_FALSE(Window()->itmEditUndo()->isEnabled());
    for (int seed = 1; seed <= 2; ++seed) {
        const auto strip = Strip("s" + std::to_string(seed) + ".tga", 1008, seed);
        Open(strip);  // into the strip's folder, which becomes the remembered one
        ASSERT_EQ(Status(), "AllDone");
        cubes.push_back(CubeIn(stripFolder_));
    }
    EXPECT_TRUE(Window()->itmEditUndo()->isEnabled());
    Window()->itmEditUndo()->trigger();
    Settle();
    EXPECT_EQ(CubeIn(stripFolder_), cubes[1]) << "the cube of the first conversion, not of the second";
    EXPECT_EQ(Window()->Pane()->Cross().At(kFaceSize, 0), ReadTga(stripFolder_ / "F0050001.tga").At(0, 0))
        << "the pane shows the cube put back";
    Window()->itmEditUndo()->trigger();
    Settle();
    EXPECT_EQ(CubeFilesIn(stripFolder_), std::vector<std::string>{}) << "the strips' folder had no cube";
    EXPECT_EQ(CubeIn(remembered_), cubes[0]) << "a folder nobody converted into is untouched";
    EXPECT_FALSE(Window()->itmEditUndo()->isEnabled());
}

// Opened from the file manager (--ask), a file's cube is shown and nothing is written before the
// user says where; then it goes there. One of a cube's own files opens that cube to look at.
TEST_F(WindowTest, TheDesktopEntryShowsTheCubeAndAsksBeforeWriting) {
    const auto chosen = dir_ / "chosen";
    std::filesystem::create_directories(chosen);
    const struct {
        const char* name;
        WriteChoice choice;
        std::filesystem::path written;  // empty: nowhere
    } rows[] = {
        {"into the remembered folder", WriteChoice::Remembered, remembered_},
        {"beside the file", WriteChoice::BesideTheFile, stripFolder_},
        {"into a chosen folder", WriteChoice::Chosen, chosen},
        {"cancelled", WriteChoice::Cancel, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& folder : {remembered_, stripFolder_, chosen})
            for (const char* name : kCubeFileNames) std::filesystem::remove(folder / name);
        dialogs_.folderAnswer = Text(chosen);
        Start({"zenivor", QString::fromLatin1(kAskOption), Text(strip_)}, rememberedText_);
        Settle();
        ASSERT_TRUE(Window()->Asking());
        EXPECT_TRUE(Window()->Pane()->HasCube());
        for (const auto& folder : {remembered_, stripFolder_, chosen})
            EXPECT_EQ(CubeFilesIn(folder), std::vector<std::string>{}) << "written before the choice";
        Window()->ChooseWrite(row.choice);
        Settle();
        for (const auto& folder : {remembered_, stripFolder_, chosen})
            EXPECT_EQ(CubeFilesIn(folder).size(), folder == row.written ? 6u : 0u) << folder;
    }
    // One of the six files of a cube: that cube, to look at, and nothing converted.
    settings_ = MemorySettings();
    Start({"zenivor", Text(strip_)}, "");
    Settle();
    const CubeBytes cube = CubeIn(stripFolder_);
    Start({"zenivor", QString::fromLatin1(kAskOption), Text(stripFolder_ / "F0010001.tga")}, rememberedText_);
    Settle();
    EXPECT_FALSE(Window()->Asking());
    EXPECT_TRUE(Window()->Pane()->HasCube());
    EXPECT_EQ(CubeIn(stripFolder_), cube);
    EXPECT_EQ(CubeFilesIn(remembered_), std::vector<std::string>{});
}

RgbImage Stamped(RgbImage image, std::uint8_t seed) {
    image.Set(0, 0, {seed, seed, seed});
    return image;
}

// A 360-degree panorama opened or dropped as a strip is named for what it is, and projected
// when the user agrees: first shown with its controls, written by Write as they are set.
TEST_F(WindowTest, APanoramaOpenedAsAStripIsOfferedAsOne) {
    const auto panorama = stripFolder_ / "pano.tga";
    WriteTga(panorama, CoordinateImage(1024, 512));
    Start({"zenivor"}, rememberedText_);
    for (const int answer : {-1, 0}) {
        SCOPED_TRACE(answer);
        dialogs_ = ScriptedDialogs();
        dialogs_.askAnswer = answer;
        Drop({Url(panorama)});
        EXPECT_EQ(dialogs_.messages, std::vector<std::string>{"Imagesize needs to be 504x504 or 1008x504 or 2016x504"});
        ASSERT_EQ(dialogs_.questions.size(), 1u);
        EXPECT_NE(dialogs_.questions[0].find("1024 x 512 pixels: twice as wide as it is high"), std::string::npos);
        Settle();
        EXPECT_EQ(Window()->PanoramaControlsShown(), answer == 0);
    }
    Window()->SetPanoramaView({.north = 90, .pitch = 5, .roll = -3});
    Window()->WritePanorama();
    Settle();
    ASSERT_EQ(Status(), "AllDone");
    const auto faces = LinearProjection(CoordinateImage(1024, 512), PanoramaView{.north = 90, .pitch = 5, .roll = -3});
    for (const Face face : kAllFaces)
        EXPECT_EQ(ReadTga(stripFolder_ / FileNameOf(face)), faces[static_cast<std::size_t>(face)]) << FileNameOf(face);
}

// The panorama's ground: the view straight down, the template, or a TGA file of the user's,
// copied as it is; a file that is no TGA, or none chosen, leaves the view straight down.
TEST_F(WindowTest, APanoramasGroundIsTheViewDownTheTemplateOrTheUsersOwnFile) {
    const auto panorama = stripFolder_ / "pano.tga";
    WriteTga(panorama, CoordinateImage(1024, 512));
    const auto own = dir_ / "own ground.tga";
    WriteTga(own, Stamped(CoordinateImage(504, 504), 9));
    WriteBytes(dir_ / "notes.txt", {'s', 'k', 'y'});
    const struct {
        GroundSource chosen;
        std::filesystem::path answer;  // what the file dialog returns
        GroundSource shown;            // the choice afterwards
        std::filesystem::path copied;  // the sixth file's source; empty for the view down
        std::size_t messages;
    } rows[] = {{GroundSource::Template, {}, GroundSource::Template, programFolder_ / "F0060001.tga", 0},
                {GroundSource::File, {}, GroundSource::Panorama, {}, 0},
                {GroundSource::File, dir_ / "notes.txt", GroundSource::Panorama, {}, 1},
                {GroundSource::File, own, GroundSource::File, own, 0}};
    const RgbImage viewDown = LinearProjection(CoordinateImage(1024, 512))[5];
    Start({"zenivor"}, rememberedText_);
    for (const auto& row : rows) {
        SCOPED_TRACE(Utf8FromPath(row.answer));
        program_->ProcessPanoramaFile(Utf8FromPath(panorama));
        Settle();
        dialogs_.answer = row.answer.empty() ? QString() : Text(row.answer);
        dialogs_.messages.clear();
        Window()->SetGround(row.chosen);
        EXPECT_EQ(Window()->CurrentGround(), row.shown);
        EXPECT_EQ(dialogs_.messages.size(), row.messages);
        Window()->WritePanorama();
        Settle();
        ASSERT_EQ(Status(), "AllDone");
        if (row.copied.empty())
            EXPECT_EQ(ReadTga(remembered_ / "F0060001.tga"), viewDown);
        else
            EXPECT_EQ(ReadBytes(remembered_ / "F0060001.tga"), ReadBytes(row.copied));
    }
}

// Another conversion's lock on the folder: the status line says the window waits, and Cancel
// stops the wait with nothing written.
TEST_F(WindowTest, AFolderHeldByAnotherConversionIsWaitedForUntilCancelled) {
    Start({"zenivor"}, rememberedText_);
    const int held = ::open((remembered_ / kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    program_->ProcessFile(Utf8FromPath(strip_));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Status().find("Waiting for another conversion into " + rememberedText_) != 0 &&
           std::chrono::steady_clock::now() < deadline)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(Status().find("Waiting for another conversion into " + rememberedText_), 0u) << Status();
    Window()->CancelConversion();
    Settle();
    ::close(held);
    EXPECT_EQ(Status(), kCancelledText);
    EXPECT_EQ(CubeFilesIn(remembered_), std::vector<std::string>{});
}

// Several files dropped at once: each into a folder of its own under the folder chosen, and the
// ones that could not be converted listed at the end.
TEST_F(WindowTest, SeveralDroppedFilesGoEachIntoAFolderOfItsOwn) {
    const auto root = dir_ / "cubes";
    std::filesystem::create_directories(root);
    const auto second = Strip("second.tga", 504, 3);
    const auto panorama = stripFolder_ / "wide.tga";
    WriteTga(panorama, CoordinateImage(512, 256));
    const auto odd = stripFolder_ / "odd.tga";
    WriteTga(odd, CoordinateImage(300, 200));
    Start({"zenivor"}, rememberedText_);
    dialogs_.folderAnswer = Text(root);
    Drop({Url(strip_), Url(second), Url(panorama), Url(odd)});
    for (const char* folder : {"sky strip", "second", "wide"})
        EXPECT_EQ(CubeFilesIn(root / folder).size(), 6u) << folder;
    EXPECT_EQ(CubeFilesIn(root / "odd"), std::vector<std::string>{});
    ASSERT_EQ(dialogs_.messages.size(), 1u);
    EXPECT_NE(dialogs_.messages[0].find(Utf8FromPath(odd) + ": Imagesize needs to be"), std::string::npos)
        << dialogs_.messages[0];
    EXPECT_NE(Status().find("Converted 3 of 4 files"), std::string::npos) << Status();
}

// Narrow, the status line is cut at a word's end with its whole text as the tooltip; wide
// enough, it shows the whole text.
TEST_F(WindowTest, TheStatusLinesWholeTextIsAlwaysReachable) {
    Start({"zenivor"}, "");
    const std::string text =
        "Error getting file size of /home/ann/games/velmora/skies/a rather long name.tga (no such file)";
    Window()->SetStatusText(text);
    StatusLine& status = *Window()->lblStatus();
    for (const int width : {329, 2000}) {
        SCOPED_TRACE(width);
        status.resize(width, status.height());
        EXPECT_EQ(status.text().toStdString(), text);
        EXPECT_EQ(status.Elided(), width == 329);
        EXPECT_EQ(status.toolTip().toStdString(), width == 329 ? text : "");
    }
}

}  // namespace
}  // namespace zenivor::test
