// zenivor-convert: options, exit statuses and what it prints, run in process.

#include <gtest/gtest.h>

#include <png.h>

#include <sstream>

#include "cli/ConvertCommand.h"
#include "tests/ConverterRun.h"
#include "tests/TestSupport.h"
#include "util/Result.h"

namespace zenivor::test {
namespace {

class ConvertCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / "F0060001.tga", CoordinateImage(504, 504));
        WriteTga(strip_, CoordinateImage(2016, 504));
    }
    Outcome Convert(const std::vector<std::string>& arguments) { return RunConverter(arguments, {program_}); }

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
    for (const char* flag : {"-V", "--version"}) {
        const Outcome version = Convert({flag, "-q"});
        EXPECT_EQ(version.status, kExitConverted);
        EXPECT_EQ(version.out, "zenivor-convert 1.1.0\n");
    }
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
    WriteTga(dir_ / "wide.tga", CoordinateImage(300, 100));
    WriteTga(dir_ / "sphere.tga", CoordinateImage(200, 100));
    const struct {
        std::vector<std::string> arguments;
        std::string err;
    } rows[] = {
        {{Utf8FromPath(dir_ / "missing.tga"), output_},
         "zenivor-convert: Error getting file size of " + Utf8FromPath(dir_ / "missing.tga") + " (no such file)\n"},
        {{Utf8FromPath(dir_ / "small.tga"), output_},
         "zenivor-convert: Imagesize needs to be 504x504 or 1008x504 or 2016x504\n"
         "zenivor-convert: found 100x100; add --fit to resample it\n"},
        {{Utf8FromPath(dir_ / "wide.tga"), output_},
         "zenivor-convert: Imagesize needs to be 504x504 or 1008x504 or 2016x504\n"
         "zenivor-convert: found 300x100; a strip is 1, 2 or 4 times as wide as it is high\n"},
        {{Utf8FromPath(dir_ / "sphere.tga"), output_},
         "zenivor-convert: Imagesize needs to be 504x504 or 1008x504 or 2016x504\n"
         "zenivor-convert: found 200x100; a 2:1 image is usually a 360-degree panorama: add --equirect; if it is a "
         "strip that covers only the horizon, add --fit\n"},
        {{"--", Utf8FromPath(dir_ / "-no-such.tga"), output_},
         "zenivor-convert: Error getting file size of " + Utf8FromPath(dir_ / "-no-such.tga") + " (no such file)\n"},
        {{Utf8FromPath(dir_ / "line\nbreak.tga"), output_},
         "zenivor-convert: Error getting file size of " + Utf8FromPath(dir_.Path()) +
             "/line\\nbreak.tga (no such file)\n"},
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
    const std::string nothingReplaced = "zenivor-convert: nothing was replaced in " + output_ + "\n";
    EXPECT_EQ(outcome.err, failure + nothingReplaced);
    const Outcome verbose = Convert({"--verbose", Utf8FromPath(strip_), output_});
    EXPECT_EQ(verbose.status, kExitFailed);
    EXPECT_TRUE(verbose.err.ends_with(failure + nothingReplaced)) << verbose.err;
    EXPECT_EQ(verbose.err.find(failure), verbose.err.size() - failure.size() - nothingReplaced.size())
        << "printed once";
}

// The preview decoded by libpng itself, as RGBA.
struct DecodedPng {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    const std::uint8_t* At(int x, int y) const { return &rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};
DecodedPng DecodePng(const std::vector<std::uint8_t>& bytes) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    DecodedPng decoded;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return decoded;
    image.format = PNG_FORMAT_RGBA;
    decoded.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.rgba.data(), 0, nullptr)) return {};
    decoded.width = static_cast<int>(image.width);
    decoded.height = static_cast<int>(image.height);
    return decoded;
}

TEST_F(ConvertCommandTest, PreviewShowsTheCubeUnfoldedAroundNorth) {
    const auto preview = dir_ / "cube.png";
    const Outcome outcome = Convert({"--preview", Utf8FromPath(preview), Utf8FromPath(strip_), output_});
    ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
    const DecodedPng png = DecodePng(ReadBytes(preview));
    ASSERT_EQ(png.width, 4 * 504);   // West, North, East, South in a row
    ASSERT_EQ(png.height, 3 * 504);  // the sky cap above North, the ground below
    const struct {
        const char* file;
        int column, row;
    } cells[] = {{"F0020001.tga", 0, 1}, {"F0010001.tga", 1, 1}, {"F0040001.tga", 2, 1},
                 {"F0030001.tga", 3, 1}, {"F0050001.tga", 1, 0}, {"F0060001.tga", 1, 2}};
    for (const auto& cell : cells) {
        const RgbImage face = ReadTga(PathFromUtf8(output_) / cell.file);
        for (int y = 0; y < 504; y += 7)
            for (int x = 0; x < 504; x += 5) {
                const std::uint8_t* pixel = png.At(cell.column * 504 + x, cell.row * 504 + y);
                const Rgb expected = face.At(x, y);
                ASSERT_EQ((Rgb{pixel[0], pixel[1], pixel[2]}), expected) << cell.file << " " << x << "," << y;
                ASSERT_EQ(pixel[3], 255) << cell.file << " is opaque";
            }
    }
    for (const auto& [column, row] : {std::pair{0, 0}, {2, 0}, {3, 0}, {0, 2}, {2, 2}, {3, 2}})
        EXPECT_EQ(png.At(column * 504 + 250, row * 504 + 250)[3], 0) << "no face at " << column << "," << row;
}

std::string TextOf(const std::filesystem::path& path) {
    const auto bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The usage text has one home; the README and the help page must quote what --help prints.
TEST_F(ConvertCommandTest, TheReadmeAndTheHelpPageQuoteTheUsageAndEveryErrorCode) {
    const Outcome help = Convert({"--help"});
    ASSERT_EQ(help.status, kExitConverted);
    std::string usage = help.out;
    while (usage.ends_with('\n')) usage.pop_back();
    ASSERT_FALSE(usage.empty());
    EXPECT_NE(TextOf(std::filesystem::path(ZENIVOR_SOURCE_FOLDER) / "README.md").find("```\n" + usage + "\n```"),
              std::string::npos)
        << "README.md quotes the usage";
    const std::string page = TextOf(std::filesystem::path(ZENIVOR_PROGRAM_FOLDER) / "Zenivor.html");
    EXPECT_NE(page.find("<pre>" + usage + "</pre>"), std::string::npos) << "the help page quotes the usage";
    for (const ErrorKind& kind : AllErrorKinds()) {
        const std::string row = "<tr><td>" + std::to_string(kind.number) + "</td><td>" + std::string(kind.text);
        EXPECT_NE(page.find(row), std::string::npos) << row;
    }
}

}  // namespace
}  // namespace zenivor::test
