// The conversion with its files: what it writes where, the status texts and messages, and
// every failure, each made to happen through the file system or for real.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "conversion/ProcessSky.h"
#include "conversion/SkyCube.h"
#include "tests/FailingFileSystem.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

class ProcessSkyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(programFolder_);
        std::filesystem::create_directories(output_);
        WriteBytes(programFolder_ / "F0060001.tga", groundBytes_);
    }

    std::filesystem::path WriteStrip(int width, int height = 504) {
        auto path = dir_ / ("strip " + std::to_string(width) + ".tga");
        WriteTga(path, CoordinateImage(width, height));
        return path;
    }
    SkyResult Run(const std::filesystem::path& strip, FileSystem& files, const std::string& lastPath) {
        return ProcessSky(Utf8FromPath(strip), {host_, files, lastPath, programFolder_});
    }
    SkyResult Run(const std::filesystem::path& strip, FileSystem& files) {
        return Run(strip, files, Utf8FromPath(output_ / ""));
    }
    SkyResult Run(const std::filesystem::path& strip) { return Run(strip, SystemFileSystem()); }
    std::string Out(const char* name) const { return Utf8FromPath(output_ / name); }

    TempDir dir_;
    std::filesystem::path programFolder_ = dir_ / "program";
    std::filesystem::path output_ = dir_ / "out";
    std::vector<std::uint8_t> groundBytes_ = {'g', 'r', 'o', 'u', 'n', 'd', 0, 1, 2, 255};
    MemoryHost host_;
};

TEST_F(ProcessSkyTest, WritesTheSixFilesAsTheCubeInMemory) {
    const auto strip = WriteStrip(2016);
    const SkyResult result = Run(strip);
    ASSERT_EQ(result.outcome, SkyOutcome::Completed) << result.text;
    EXPECT_EQ(host_.Status(), "Saving ground");
    EXPECT_EQ(result.strip, (ImageSize{2016, 504}));
    const auto sides = CutSideFaces(CoordinateImage(2016, 504), *StripLayoutFor({2016, 504}));
    for (const Face face : kSideFaces)
        EXPECT_EQ(ReadTga(output_ / FileNameOf(face)), sides[static_cast<std::size_t>(face)]) << FileNameOf(face);
    EXPECT_EQ(ReadTga(output_ / "F0050001.tga"), ComposeSkyCap(sides, host_.Background()));
    EXPECT_EQ(ReadBytes(output_ / "F0060001.tga"), groundBytes_);
    EXPECT_EQ(EntriesIn(output_), std::vector<std::string>(kCubeFileNames.begin(), kCubeFileNames.end()))
        << "nothing but the six files is left";
}

TEST_F(ProcessSkyTest, RefusesOtherSizesAndWritesNothing) {
    const struct { int width, height; } rows[] = {{504, 505}, {1008, 100}, {4032, 504}, {503, 504}, {2016, 503}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        host_.Reset();
        const auto path = dir_ / "odd.tga";
        WriteTga(path, CoordinateImage(row.width, row.height));
        const SkyResult result = Run(path);
        EXPECT_EQ(result.outcome, SkyOutcome::Refused);
        EXPECT_EQ(result.strip, (ImageSize{row.width, row.height}));
        EXPECT_EQ(host_.LastMessage(), "Imagesize needs to be 504x504 or 1008x504 or 2016x504");
        EXPECT_EQ(host_.Status(), "");  // no "Saving" text was shown
        EXPECT_TRUE(CubeFilesIn(output_).empty());
    }
}

TEST_F(ProcessSkyTest, UnreadableStripsAreRefusedWithThePathAndWhy) {
    std::filesystem::create_directory(dir_ / "folder.tga");
    WriteBytes(dir_ / "picture.png",
               {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 1, 0, 0, 0, 1, 0});
    WriteBytes(dir_ / "notes.txt", std::vector<std::uint8_t>(40, 'x'));
    const auto quoted = "\"" + Utf8FromPath(WriteStrip(504)) + "\"";
    const std::pair<std::string, std::string> rows[] = {
        {Utf8FromPath(dir_ / "missing.tga"), "no such file"},
        {Utf8FromPath(dir_ / "folder.tga"), "a folder: give a file, or --batch with the folder's files"},
        {Utf8FromPath(dir_ / "picture.png"), "not an image Zenivor reads (TGA, PNG, JPEG...): it looks like PNG"},
        {Utf8FromPath(dir_ / "notes.txt"), "not an image Zenivor reads (TGA, PNG, JPEG...): it looks like text"},
        {quoted, "no such file"},
    };
    for (const auto& [path, reason] : rows) {
        host_.Reset();
        const SkyResult result =
            ProcessSky(path, {host_, SystemFileSystem(), Utf8FromPath(output_ / ""), programFolder_});
        EXPECT_EQ(result.outcome, SkyOutcome::Refused) << path;
        EXPECT_EQ(host_.LastMessage(), "Error getting file size of " + path + " (" + reason + ")");
        EXPECT_EQ(result.text, host_.LastMessage());
    }
    EXPECT_TRUE(CubeFilesIn(output_).empty());
}

TEST_F(ProcessSkyTest, EmptyLastPathWritesBesideTheStrip) {
    const auto strip = WriteStrip(504);
    ASSERT_EQ(Run(strip, SystemFileSystem(), "").outcome, SkyOutcome::Completed) << host_.Status();
    EXPECT_EQ(CubeFilesIn(strip.parent_path()).size(), 6u);
}

TEST_F(ProcessSkyTest, PathsWithBlanksAndNonAsciiCharacters) {
    const auto folder = dir_ / PathFromUtf8("Himmel über Köln");
    std::filesystem::create_directories(folder);
    const auto strip = folder / PathFromUtf8("Panorama Ø 1.tga");
    WriteTga(strip, CoordinateImage(1008, 504));
    ASSERT_EQ(Run(strip, SystemFileSystem(), Utf8FromPath(folder / "")).outcome, SkyOutcome::Completed);
    EXPECT_EQ(CubeFilesIn(folder).size(), 6u);
}

TEST_F(ProcessSkyTest, SideFaceOfAnotherSizeIsAReadFailure) {
    FailingFileSystem files;
    // Between staging the faces and reading North back, its staged file is replaced by a smaller
    // image.
    files.Before(Call::OpenIn, 1, [&] {
        for (const std::string& name : EntriesIn(output_))
            if (TemporaryTarget(name) == "F0010001.tga") WriteTga(output_ / name, CoordinateImage(100, 100));
    });
    EXPECT_EQ(Run(WriteStrip(1008), files).outcome, SkyOutcome::Failed);
    EXPECT_EQ(host_.Status(), "Get " + Out("F0010001.tga") + " error: 24 (the image has another size than expected)");
    EXPECT_EQ(EntriesIn(output_), std::vector<std::string>{}) << "nothing replaced, nothing left";
}

// The ground template is checked before anything is replaced: a set of faces is never mixed.
TEST_F(ProcessSkyTest, UnusableGroundTemplateReplacesNothing) {
    const auto strip = WriteStrip(504);
    ASSERT_EQ(Run(strip).outcome, SkyOutcome::Completed);
    std::vector<std::vector<std::uint8_t>> before;
    for (const char* name : kCubeFileNames) before.push_back(ReadBytes(output_ / name));
    WriteTga(strip, CoordinateImage(1008, 504));  // a conversion now would change every face
    const auto ground = programFolder_ / "F0060001.tga";
    const struct {
        const char* name;
        std::function<void()> make;
        std::string error;
    } rows[] = {
        {"missing", [&] { std::filesystem::remove_all(ground); }, "2 (No such file or directory)"},
        {"a folder", [&] { std::filesystem::create_directory(ground); }, "21 (Is a directory)"},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(ground.c_str(), 0600), 0); }, "2 (not a regular file: a FIFO)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(ground);
        row.make();
        const SkyResult result = Run(strip);
        EXPECT_EQ(result.outcome, SkyOutcome::Failed);
        EXPECT_EQ(host_.Status(), "Copy " + Utf8FromPath(ground) + " error: " + row.error);
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(ReadBytes(output_ / kCubeFileNames[i]), before[i]) << i;
    }
}

struct FailureRow {
    const char* name;
    Call call;
    int nth;
    Error error;
    std::string status;  // with {out}, {program} and {strip} standing for the paths
    std::string message;
};

Error System(ErrorKind code, int number) { return Error{code, number}; }

// Call counts are those of a 1008 strip: opens go size query, strip, template; the faces are
// staged W, S, N, E, sky cap, then the ground copied; the quadrants read N, W, S, E back.
const FailureRow kFailureRows[] = {
    {"size query", Call::Open, 1, System(errc::FileOpen, EACCES), "",
     "Error getting file size of {strip} (Permission denied)"},
    {"strip read", Call::Open, 2, System(errc::FileRead, EIO), "Get {strip} error: 5 (Input/output error)", ""},
    {"template", Call::Open, 3, System(errc::FileOpen, EACCES),
     "Copy {program}F0060001.tga error: 13 (Permission denied)", ""},
    {"output folder", Call::OpenFolder, 1, System(errc::FileCreate, EROFS),
     "Save {out}F0020001.tga error: 30 (Read-only file system)", ""},
    {"West write", Call::Stage, 1, System(errc::FileWrite, ENOSPC),
     "Save {out}F0020001.tga error: 28 (No space left on device)", ""},
    {"North write", Call::Stage, 3, System(errc::FileCreate, EACCES),
     "Save {out}F0010001.tga error: 13 (Permission denied)", ""},
    {"West face gone before North", Call::ExistsIn, 1, System(errc::FileOpen, ENOENT), "Saving South",
     "Unexpected error in ProcessSky:  2 No such file or directory"},
    {"North face gone before its quadrant", Call::ExistsIn, 2, System(errc::FileOpen, ENOENT), "Getting North sky.",
     "Unexpected error in ProcessSky:  2 No such file or directory"},
    {"side face read back", Call::OpenIn, 2, Error{errc::TruncatedPixels},
     "Get {out}F0020001.tga error: 13 (the file ends inside its pixel data)", ""},
    {"sky cap write", Call::Stage, 5, System(errc::FileWrite, ENOSPC),
     "Save {out}F0050001.tga error: 28 (No space left on device)", ""},
    {"ground copy", Call::StageCopy, 1, System(errc::FileWrite, ENOSPC),
     "Copy {program}F0060001.tga error: 28 (No space left on device)", ""},
    {"putting the six in place", Call::Replace, 1, System(errc::FileWrite, EIO),
     "Save {out} error: 5 (Input/output error)", ""},
};

std::string Expand(std::string text, const std::string& key, const std::string& value) {
    if (const auto at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
    return text;
}

// Whatever step fails, the cube that was there stays, whole, and nothing else is left.
TEST_F(ProcessSkyTest, EveryFailureIsReportedAndReplacesNothing) {
    ASSERT_EQ(Run(WriteStrip(504)).outcome, SkyOutcome::Completed);
    std::vector<std::vector<std::uint8_t>> before;
    for (const char* name : kCubeFileNames) before.push_back(ReadBytes(output_ / name));
    const auto strip = WriteStrip(1008);
    for (const FailureRow& row : kFailureRows) {
        SCOPED_TRACE(row.name);
        host_.Reset();
        FailingFileSystem files;
        files.FailOn(row.call, row.nth, row.error);
        const SkyResult result = Run(strip, files);
        EXPECT_EQ(result.outcome, row.nth == 1 && row.call == Call::Open ? SkyOutcome::Refused : SkyOutcome::Failed);
        EXPECT_FALSE(result.replacedInPart);
        ASSERT_EQ(files.Count(row.call), row.nth) << "the failing call was reached";
        std::string status = Expand(row.status, "{out}", Utf8FromPath(output_ / ""));
        status = Expand(status, "{program}", Utf8FromPath(programFolder_ / ""));
        status = Expand(status, "{strip}", Utf8FromPath(strip));
        EXPECT_EQ(host_.Status(), status);
        EXPECT_EQ(host_.LastMessage(), Expand(row.message, "{strip}", Utf8FromPath(strip)));
        EXPECT_EQ(result.text, row.message.empty() ? host_.Status() : host_.LastMessage());
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(ReadBytes(output_ / kCubeFileNames[i]), before[i]) << i;
        EXPECT_EQ(EntriesIn(output_), CubeFilesIn(output_)) << "nothing but the cube is left";
    }
}

}  // namespace
}  // namespace zenivor::test
