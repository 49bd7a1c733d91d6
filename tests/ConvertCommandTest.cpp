// zenivor-convert: options, exit statuses and what it prints, run in process.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/ConvertCommand.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class ConvertCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / "F0060001.tga", CoordinateImage(504, 504));
        WriteTga(strip_, CoordinateImage(2016, 504));
    }
    Outcome Convert(const std::vector<std::string>& arguments) {
        std::ostringstream out;
        std::ostringstream err;
        const int status = RunConvertCommand(arguments, {program_}, out, err);
        return {status, out.str(), err.str()};
    }

    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
    std::filesystem::path strip_ = dir_ / "strip.tga";
    std::string output_ = Utf8FromPath(dir_ / "cube");
};

TEST_F(ConvertCommandTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> rows = {
        {}, {"--bogus", "a.tga"}, {"a.tga", "out", "extra"}, {"--preview"}, {"a.tga", "--preview="}, {"-x"},
    };
    for (const auto& arguments : rows) {
        const Outcome outcome = Convert(arguments);
        EXPECT_EQ(outcome.status, kExitUsage) << ::testing::PrintToString(arguments);
        EXPECT_TRUE(outcome.err.starts_with("zenivor-convert: ")) << outcome.err;
        EXPECT_NE(outcome.err.find("--help"), std::string::npos);
    }
}

TEST_F(ConvertCommandTest, HelpAndVersion) {
    const Outcome version = Convert({"--version"});
    EXPECT_EQ(version.status, kExitConverted);
    EXPECT_EQ(version.out, "zenivor-convert 1.0.2\n");
    for (const char* flag : {"-h", "--help"}) {
        const Outcome help = Convert({flag});
        EXPECT_EQ(help.status, kExitConverted);
        EXPECT_TRUE(help.out.starts_with("Usage: zenivor-convert [OPTIONS] STRIP [OUTPUT-FOLDER]")) << help.out;
    }
}

TEST_F(ConvertCommandTest, ConvertsIntoTheOutputFolderItCreates) {
    const Outcome outcome = Convert({Utf8FromPath(strip_), output_});
    EXPECT_EQ(outcome.status, kExitConverted) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    for (const char* name : kCubeFileNames) EXPECT_EQ(ReadTga(PathFromUtf8(output_) / name).width, 504) << name;
}

TEST_F(ConvertCommandTest, VerbosePrintsEveryStep) {
    const Outcome outcome = Convert({"-v", Utf8FromPath(strip_), output_});
    EXPECT_EQ(outcome.status, kExitConverted);
    EXPECT_NE(outcome.err.find("zenivor-convert: Saving West\nzenivor-convert: Saving South\n"), std::string::npos);
    EXPECT_TRUE(outcome.err.ends_with("zenivor-convert: Saving ground\nzenivor-convert: AllDone\n")) << outcome.err;
}

TEST_F(ConvertCommandTest, FailuresExitWithOneAndSayWhy) {
    WriteTga(dir_ / "small.tga", CoordinateImage(100, 100));
    const struct {
        std::vector<std::string> arguments;
        std::string err;
    } rows[] = {
        {{Utf8FromPath(dir_ / "missing.tga"), output_},
         "zenivor-convert: Error getting file size of " + Utf8FromPath(dir_ / "missing.tga") + " (no such file)\n"},
        {{Utf8FromPath(dir_ / "small.tga"), output_},
         "zenivor-convert: Imagesize needs to be 504x504 or 1008x504 or 2016x504\n"},
        {{"--", Utf8FromPath(dir_ / "-no-such.tga"), output_},
         "zenivor-convert: Error getting file size of " + Utf8FromPath(dir_ / "-no-such.tga") + " (no such file)\n"},
        {{Utf8FromPath(dir_ / "line\nbreak.tga"), output_},
         "zenivor-convert: Error getting file size of " + Utf8FromPath(dir_.Path()) + "/line\\nbreak.tga (no such file)\n"},
    };
    for (const auto& row : rows) {
        const Outcome outcome = Convert(row.arguments);
        EXPECT_EQ(outcome.status, kExitFailed);
        EXPECT_EQ(outcome.err, row.err);
    }
}

TEST_F(ConvertCommandTest, StatusLineFailureIsPrintedOnce) {
    std::filesystem::remove(program_ / "F0060001.tga");
    const Outcome outcome = Convert({Utf8FromPath(strip_), output_});
    EXPECT_EQ(outcome.status, kExitFailed);
    const std::string failure =
        "zenivor-convert: Copy " + Utf8FromPath(program_ / "F0060001.tga") + " error: 2 (No such file or directory)\n";
    EXPECT_EQ(outcome.err, failure);
    const Outcome verbose = Convert({"--verbose", Utf8FromPath(strip_), output_});
    EXPECT_EQ(verbose.status, kExitFailed);
    EXPECT_TRUE(verbose.err.ends_with(failure)) << verbose.err;
    EXPECT_EQ(verbose.err.find(failure), verbose.err.size() - failure.size()) << "printed once";
}

TEST_F(ConvertCommandTest, PreviewIsAPngOfTheUnfoldedCube) {
    const auto preview = dir_ / "cube.png";
    const Outcome outcome = Convert({"--preview", Utf8FromPath(preview), Utf8FromPath(strip_), output_});
    ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
    const auto bytes = ReadBytes(preview);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    const auto word = [&](std::size_t at) {
        return (bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3];
    };
    EXPECT_EQ(word(16), 4 * 504);  // IHDR width: four faces in a row
    EXPECT_EQ(word(20), 3 * 504);  // IHDR height: sky cap, row, ground
}

}  // namespace
}  // namespace zenivor::test
