// zenivor-convert as scripts meet it: what it refuses (writing nothing, making no folder),
// standard input, --no-clobber, the hints and warnings, the preview's exit code and the user's
// own ground, run in process.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "cli/ConvertCommand.h"
#include "conversion/DataFiles.h"
#include "tests/ConverterRun.h"
#include "tests/FormatsTestFiles.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

const std::string kNotAnImage = "not an image Zenivor reads (TGA, PNG, JPEG...)";
const std::string kFolderHolds = "the output is a folder that will hold F0010001.tga ... F0060001.tga";

// A 2:1 image whose top and bottom rows are one colour each, as a panorama's poles are.
RgbImage WithUniformPoles(RgbImage image) {
    for (int x = 0; x < image.width; ++x) {
        image.Set(x, 0, {200, 220, 255});
        image.Set(x, image.height - 1, {90, 60, 30});
    }
    return image;
}

class ScriptingTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / kGroundTemplateFile, CoordinateImage(504, 504));
        WriteTga(dir_ / "strip.tga", CoordinateImage(1008, 504));
    }
    Outcome Convert(const std::vector<std::string>& arguments, int standardInput = 0) {
        return RunConverter(arguments, {.programFolder = program_, .standardInput = standardInput});
    }
    std::string Path(const std::string& name) const { return Utf8FromPath(dir_ / name); }
    std::vector<std::vector<std::uint8_t>> CubeIn(const std::string& folder) const {
        std::vector<std::vector<std::uint8_t>> files;
        for (const char* name : kCubeFileNames) files.push_back(ReadBytes(dir_ / folder / name));
        return files;
    }

    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
};

TEST_F(ScriptingTest, EveryRefusalWritesNothingAndLeavesNoFolder) {
    std::filesystem::create_directory(dir_ / "strips");
    WriteBytes(dir_ / "empty.tga", {});
    WriteBytes(dir_ / "anim.gif", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'});
    WriteBytes(dir_ / "notes.tga", {'s', 'k', 'y', ' ', 'n', 'o', 't', 'e', 's', '\n'});
    WriteBytes(dir_ / "taken.txt", {'x'});
    WriteTga(dir_ / "wide.tga", CoordinateImage(300, 100));
    WriteTga(dir_ / "pano.tga", CoordinateImage(200, 100));
    const std::string strip = Path("strip.tga");
    const std::string out = Path("out");
    const std::string sizeMessage = "Imagesize needs to be 504x504 or 1008x504 or 2016x504";
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int status;
        std::string firstLines;
        std::string folder = {};  // the output folder, when not out
    } rows[] = {
        {"an output named like an image",
         {strip, Path("out.png")},
         kExitUsage,
         Path("out.png") + " looks like a file name; " + kFolderHolds + "\n",
         Path("out.png")},
        {"in any case",
         {strip, Path("Cube.JPEG")},
         kExitUsage,
         Path("Cube.JPEG") + " looks like a file name; " + kFolderHolds + "\n",
         Path("Cube.JPEG")},
        {"an output that is a file",
         {strip, Path("taken.txt")},
         kExitUsage,
         Path("taken.txt") + " is not a folder; " + kFolderHolds + "\n"},
        {"three operands",
         {strip, Path("strip.tga"), out},
         kExitUsage,
         "too many arguments: give one strip and its output folder, or --batch ROOT and the strips\n"},
        {"a preview that is no PNG",
         {"--preview", Path("p.jpg"), strip, out},
         kExitUsage,
         "--preview writes a PNG picture: give it a name that ends in .png\n"},
        // The reason after the colon is the TGA reader's.
        {"a ground that is no TGA",
         {"--ground", Path("anim.gif"), strip, out},
         kExitUsage,
         "--ground takes nadir, template or a TGA file; " + Path("anim.gif") + " is none: "},
        {"nadir for a strip", {"--ground", "nadir", strip, out}, kExitUsage, "--ground nadir needs --equirect\n"},
        {"a missing strip",
         {Path("missing.tga"), out},
         kExitFailed,
         "Error getting file size of " + Path("missing.tga") + " (no such file)\n"},
        {"an empty file",
         {Path("empty.tga"), out},
         kExitFailed,
         "Error getting file size of " + Path("empty.tga") + " (an empty file)\n"},
        {"a folder",
         {Path("strips"), out},
         kExitFailed,
         "Error getting file size of " + Path("strips") +
             " (a folder: give a file, or --batch with the folder's files)\n"},
        {"a GIF",
         {Path("anim.gif"), out},
         kExitFailed,
         "Error getting file size of " + Path("anim.gif") + " (" + kNotAnImage + ": it looks like GIF)\n"},
        {"a text file",
         {Path("notes.tga"), out},
         kExitFailed,
         "Error getting file size of " + Path("notes.tga") + " (" + kNotAnImage + ": it looks like text)\n"},
        {"empty standard input", {"-", out}, kExitFailed, "Error getting file size of - (an empty file)\n"},
        {"a size no option takes",
         {Path("wide.tga"), out},
         kExitFailed,
         sizeMessage + "\nzenivor-convert: found 300x100; a strip is 1, 2 or 4 times as wide as it is high\n"},
        {"a 2:1 image",
         {Path("pano.tga"), out},
         kExitFailed,
         sizeMessage +
             "\nzenivor-convert: found 200x100; a 2:1 image is usually a 360-degree panorama: add --equirect; if "
             "it is a strip that covers only the horizon, add --fit\n"},
    };
    const int empty = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = Convert(row.arguments, empty);
        EXPECT_EQ(outcome.status, row.status);
        EXPECT_TRUE(outcome.err.starts_with("zenivor-convert: " + row.firstLines)) << outcome.err;
        EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(row.folder.empty() ? out : row.folder)));
        EXPECT_FALSE(std::filesystem::exists(dir_ / "p.jpg"));
    }
    ::close(empty);
    EXPECT_EQ(ReadBytes(dir_ / "taken.txt"), (std::vector<std::uint8_t>{'x'}));
}

TEST_F(ScriptingTest, RefusalsInAFolderThatHoldsACubeLeaveItAsItWas) {
    ASSERT_EQ(Convert({Path("strip.tga"), Path("cube")}).status, kExitConverted);
    const auto cube = CubeIn("cube");
    std::filesystem::create_directory(dir_ / "partial");
    WriteBytes(dir_ / "partial" / "F0030001.tga", {'o', 'l', 'd'});
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string message;
    } rows[] = {
        {"a strip that is one of the six files",
         {Path("cube/F0010001.tga"), Path("cube")},
         Path("cube/F0010001.tga") + " is one of the six files it would replace; give another output folder"},
        {"the same, named another way",
         {Path("cube/../cube/F0040001.tga"), Path("cube/.")},
         Path("cube/../cube/F0040001.tga") + " is one of the six files it would replace; give another output folder"},
        {"--no-clobber with a whole cube",
         {"-n", Path("strip.tga"), Path("cube")},
         Path("cube/F0010001.tga") + " exists, and --no-clobber keeps it: nothing was written"},
        {"--no-clobber with one file",
         {"--no-clobber", Path("strip.tga"), Path("partial")},
         Path("partial/F0030001.tga") + " exists, and --no-clobber keeps it: nothing was written"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = Convert(row.arguments);
        EXPECT_EQ(outcome.status, kExitFailed);
        EXPECT_EQ(outcome.err, "zenivor-convert: " + row.message + "\n");
        EXPECT_EQ(CubeIn("cube"), cube);
        EXPECT_EQ(EntriesIn(dir_ / "partial"), std::vector<std::string>{"F0030001.tga"});
        EXPECT_EQ(ReadBytes(dir_ / "partial" / "F0030001.tga"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    }
    // Where none of the six is there, --no-clobber converts.
    EXPECT_EQ(Convert({"-n", Path("strip.tga"), Path("fresh")}).status, kExitConverted);
    EXPECT_EQ(CubeIn("fresh"), cube);
}

// Feeds bytes into a pipe from a thread of its own: a strip is larger than a pipe holds.
class PipeFeed {
public:
    explicit PipeFeed(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        read_ = ends[0];
        writer_ = std::thread([this, end = ends[1]] {
            for (std::size_t done = 0; done < bytes_.size();) {
                const ssize_t written = ::write(end, bytes_.data() + done, bytes_.size() - done);
                if (written <= 0) break;
                done += static_cast<std::size_t>(written);
            }
            ::close(end);
        });
    }
    ~PipeFeed() {
        ::close(read_);
        writer_.join();
    }
    PipeFeed(const PipeFeed&) = delete;
    PipeFeed& operator=(const PipeFeed&) = delete;
    int Descriptor() const { return read_; }

private:
    std::vector<std::uint8_t> bytes_;
    int read_ = -1;
    std::thread writer_;
};

TEST_F(ScriptingTest, StandardInputGivesTheCubeOfTheFile) {
    WriteBytes(dir_ / "strip.png", EncodeRgbPng(CoordinateImage(2016, 504)));
    WriteBytes(dir_ / "pano.png", EncodeRgbPng(CoordinateImage(512, 256)));
    const struct {
        const char* name;
        std::string file;
        std::vector<std::string> options;
        bool piped;
    } rows[] = {
        {"a TGA through a pipe", "strip.tga", {}, true},
        {"a TGA redirected from its file", "strip.tga", {}, false},
        {"a PNG, known by its signature", "strip.png", {}, true},
        {"a panorama", "pano.png", {"--equirect"}, true},
    };
    int run = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string fromFile = "file-" + std::to_string(run);
        const std::string fromInput = "input-" + std::to_string(run++);
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {Path(row.file), Path(fromFile)});
        ASSERT_EQ(Convert(arguments).status, kExitConverted);
        arguments.end()[-2] = "-";
        arguments.back() = Path(fromInput);
        Outcome outcome;
        if (row.piped) {
            const PipeFeed feed(ReadBytes(dir_ / row.file));
            outcome = Convert(arguments, feed.Descriptor());
        } else {
            const int file = ::open((dir_ / row.file).c_str(), O_RDONLY | O_CLOEXEC);
            outcome = Convert(arguments, file);
            ::close(file);
        }
        ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
        EXPECT_EQ(CubeIn(fromInput), CubeIn(fromFile));
    }
}

TEST_F(ScriptingTest, FitWarnsWhenA2To1ImageLooksLikeAPanoramaUnlessQuiet) {
    WriteTga(dir_ / "poles.tga", WithUniformPoles(CoordinateImage(1024, 512)));
    WriteTga(dir_ / "horizon.tga", CoordinateImage(1024, 512));
    WriteTga(dir_ / "square-poles.tga", WithUniformPoles(CoordinateImage(512, 512)));
    const std::string warning =
        "zenivor-convert: warning: this looks like a 360-degree panorama (its top and bottom rows are nearly "
        "uniform, as a panorama's poles are); --equirect projects it onto the cube instead of stretching it\n";
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string err;
    } rows[] = {
        {"uniform poles", {"--fit", Path("poles.tga"), Path("a")}, warning},
        {"a horizon strip", {"--fit", Path("horizon.tga"), Path("b")}, ""},
        {"uniform rows of a 1:1 strip", {"--fit", Path("square-poles.tga"), Path("c")}, ""},
        {"quiet", {"--fit", "-q", Path("poles.tga"), Path("d")}, ""},
        {"quiet outranks verbose", {"-v", "--quiet", "--fit", Path("poles.tga"), Path("e")}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome outcome = Convert(row.arguments);
        EXPECT_EQ(outcome.status, kExitConverted);
        EXPECT_EQ(outcome.err, row.err);
        EXPECT_EQ(CubeFilesIn(PathFromUtf8(row.arguments.back())).size(), 6u);
    }
}

TEST_F(ScriptingTest, APreviewThatCannotBeWrittenHasItsOwnExitCode) {
    const struct {
        const char* name;
        std::string preview;
        int status;
        std::size_t cubeFiles;
    } rows[] = {
        {"written", Path("p.png"), kExitConverted, 6},
        {"into a missing folder", Path("missing/p.png"), kExitPreviewFailed, 6},
        {"in upper case", Path("P.PNG"), kExitConverted, 6},
        {"not a PNG name", Path("p.jpg"), kExitUsage, 0},
    };
    int run = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string folder = Path("cube-" + std::to_string(run++));
        const Outcome outcome = Convert({"--preview", row.preview, Path("strip.tga"), folder});
        EXPECT_EQ(outcome.status, row.status) << outcome.err;
        EXPECT_EQ(std::filesystem::exists(PathFromUtf8(row.preview)), row.status == kExitConverted);
        EXPECT_EQ(CubeFilesIn(PathFromUtf8(folder)).size(), row.cubeFiles);
        if (row.status == kExitPreviewFailed) {
            EXPECT_TRUE(outcome.err.ends_with("zenivor-convert: the six files are written; the preview is not\n"));
        }
    }
}

TEST_F(ScriptingTest, TheGroundIsTheUsersOwnOrTheFileNamed) {
    WriteTga(dir_ / "mine.tga", RgbImage::Filled(504, 504, {7, 8, 9}));
    WriteTga(dir_ / "named.tga", RgbImage::Filled(504, 504, {9, 8, 7}));
    const struct {
        const char* name;
        std::filesystem::path userGround;
        std::vector<std::string> options;
        std::filesystem::path copied;
    } rows[] = {
        {"the template", {}, {}, program_ / kGroundTemplateFile},
        {"the user's own", dir_ / "mine.tga", {}, dir_ / "mine.tga"},
        {"--ground FILE over the user's", dir_ / "mine.tga", {"--ground", Path("named.tga")}, dir_ / "named.tga"},
        {"--ground template is the user's", dir_ / "mine.tga", {"--ground=template"}, dir_ / "mine.tga"},
    };
    int run = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string folder = Path("cube-" + std::to_string(run++));
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {Path("strip.tga"), folder});
        const Outcome outcome = RunConverter(arguments, {.programFolder = program_, .groundTemplate = row.userGround});
        ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
        EXPECT_EQ(ReadBytes(PathFromUtf8(folder) / kGroundTemplateFile), ReadBytes(row.copied));
    }
}

TEST(DataFiles, TheUsersGroundFollowsTheBaseDirectoryRules) {
    const struct {
        const char* name;
        const char* xdgDataHome;
        const char* home;
        std::filesystem::path expected;
    } rows[] = {
        {"XDG_DATA_HOME", "/data", "/home/ann", "/data/zenivor/F0060001.tga"},
        {"unset", nullptr, "/home/ann", "/home/ann/.local/share/zenivor/F0060001.tga"},
        {"relative, so ignored", "data", "/home/ann", "/home/ann/.local/share/zenivor/F0060001.tga"},
        {"empty, so ignored", "", "/home/ann", "/home/ann/.local/share/zenivor/F0060001.tga"},
        {"no home either", nullptr, nullptr, ""},
    };
    for (const auto& row : rows) EXPECT_EQ(UserGroundTemplate(row.xdgDataHome, row.home), row.expected) << row.name;
}

TEST(DataFiles, ProgramsFindTheirFilesBesideThemOrInTheSharedFolder) {
    const TempDir dir;
    const auto build = dir / "build" / "bin";
    const auto installed = dir / "usr" / "lib" / "zenivor";
    std::filesystem::create_directories(build);
    std::filesystem::create_directories(installed);
    WriteBytes(build / kGroundTemplateFile, {1});
    EXPECT_EQ(DataFolder(build), build);
    EXPECT_EQ(DataFolder(installed), dir / "usr" / "share" / "zenivor");

    const auto mine = dir / "mine.tga";
    EXPECT_EQ(GroundTemplate(build, mine), build / kGroundTemplateFile) << "no file of the user's yet";
    WriteBytes(mine, {2});
    EXPECT_EQ(GroundTemplate(build, mine), mine);
    EXPECT_EQ(GroundTemplate(build, {}), build / kGroundTemplateFile);
}

}  // namespace
}  // namespace zenivor::test
