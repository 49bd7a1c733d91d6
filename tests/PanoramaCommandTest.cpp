// zenivor-convert with the panoramas people hold: PNG and JPEG strips, strips of other sizes
// (--fit) and 360-degree panoramas (--equirect).

#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>

#include "cli/ConvertCommand.h"
#include "conversion/Equirect.h"
#include "formats/ImageFormats.h"
#include "tests/ConverterRun.h"
#include "tests/FormatsTestFiles.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

class PanoramaCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / kGroundTemplateFile, CoordinateImage(kFaceSize, kFaceSize));
    }
    int Convert(const std::vector<std::string>& arguments) {
        const Outcome outcome = RunConverter(arguments, {program_});
        err_ = outcome.err;
        return outcome.status;
    }
    static std::vector<std::vector<std::uint8_t>> CubeIn(const std::string& folder) {
        return CubeFileBytes(PathFromUtf8(folder));
    }
    std::string Path(const std::string& name) const { return Utf8FromPath(dir_ / name); }

    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
    std::string err_;
};

RgbImage Decoded(const Bytes& bytes, const ImageDecoder& decoder) {
    MemorySource source(bytes);
    Result<RgbImage> image = decoder.Read(source, {});
    EXPECT_TRUE(image) << image.Error().detail;
    return image ? std::move(*image) : RgbImage{};
}

TEST_F(PanoramaCommandTest, PngAndJpegStripsGiveTheFilesOfATgaOfTheSamePixels) {
    const RgbImage strip = CoordinateImage(1008, 504);
    WriteTga(dir_ / "strip.tga", strip);
    ASSERT_EQ(Convert({Path("strip.tga"), Path("from-tga")}), kExitConverted) << err_;
    WriteBytes(dir_ / "strip.png", EncodeRgbPng(strip));
    ASSERT_EQ(Convert({Path("strip.png"), Path("from-png")}), kExitConverted) << err_;
    EXPECT_EQ(CubeIn(Path("from-png")), CubeIn(Path("from-tga")));

    // A JPEG's pixels are what its decoder gives; the TGA of those pixels is the reference.
    const Bytes jpeg = EncodeRgbJpeg(strip, {}, true);
    WriteBytes(dir_ / "strip.JPG", jpeg);
    WriteTga(dir_ / "decoded.tga", Decoded(jpeg, JpegDecoder()));
    ASSERT_EQ(Convert({Path("strip.JPG"), Path("from-jpeg")}), kExitConverted) << err_;
    ASSERT_EQ(Convert({Path("decoded.tga"), Path("from-decoded")}), kExitConverted) << err_;
    EXPECT_EQ(CubeIn(Path("from-jpeg")), CubeIn(Path("from-decoded")));
}

TEST_F(PanoramaCommandTest, MalformedPngAndJpegAreRefusedAndNothingIsWritten) {
    Bytes png = EncodeRgbPng(CoordinateImage(504, 504));
    png.resize(png.size() / 2);
    Bytes jpeg = EncodeRgbJpeg(CoordinateImage(504, 504));
    jpeg.resize(jpeg.size() / 2);
    WriteBytes(dir_ / "cut.png", png);
    WriteBytes(dir_ / "cut.jpg", jpeg);
    for (const char* name : {"cut.png", "cut.jpg"}) {
        EXPECT_EQ(Convert({Path(name), Path("out")}), kExitFailed) << name;
        EXPECT_TRUE(err_.starts_with("zenivor-convert: Get " + Path(name) + " error: ")) << err_;
        EXPECT_TRUE(err_.ends_with("\nzenivor-convert: nothing was replaced in " + Path("out") + "\n")) << err_;
        EXPECT_EQ(std::count(err_.begin(), err_.end(), '\n'), 2) << "the failure and what it left: " << err_;
        EXPECT_EQ(CubeFilesIn(dir_ / "out"), std::vector<std::string>{}) << name;
    }
}

TEST_F(PanoramaCommandTest, FitResamplesAStripOfAnotherSizeAndWithoutItSaysSo) {
    // Every pixel of a 2016 strip doubled: shrinking it back by area means gives it exactly.
    const RgbImage strip = CoordinateImage(2016, 504);
    RgbImage doubled = RgbImage::Unfilled(4032, 1008);
    for (int y = 0; y < doubled.height; ++y)
        for (int x = 0; x < doubled.width; ++x) doubled.Set(x, y, strip.At(x / 2, y / 2));
    WriteTga(dir_ / "strip.tga", strip);
    WriteBytes(dir_ / "doubled.png", EncodeRgbPng(doubled));
    ASSERT_EQ(Convert({Path("strip.tga"), Path("plain")}), kExitConverted) << err_;
    ASSERT_EQ(Convert({"--fit", Path("doubled.png"), Path("fitted")}), kExitConverted) << err_;
    EXPECT_EQ(CubeIn(Path("fitted")), CubeIn(Path("plain")));

    EXPECT_EQ(Convert({Path("doubled.png"), Path("refused")}), kExitFailed);
    EXPECT_EQ(err_,
              "zenivor-convert: Imagesize needs to be 504x504 or 1008x504 or 2016x504\n"
              "zenivor-convert: found 4032x1008; add --fit to resample it\n");
    EXPECT_EQ(CubeFilesIn(dir_ / "refused"), std::vector<std::string>{});
    // A strip of the program's own size is the same with or without --fit.
    ASSERT_EQ(Convert({"--fit", Path("strip.tga"), Path("own")}), kExitConverted) << err_;
    EXPECT_EQ(CubeIn(Path("own")), CubeIn(Path("plain")));
}

TEST_F(PanoramaCommandTest, EquirectProjectsAPanoramaInAnyFormat) {
    const RgbImage panorama = CoordinateImage(1024, 512);
    WriteBytes(dir_ / "pano.png", EncodeRgbPng(panorama));
    // In linear light, and with --linear off in the sRGB values.
    ASSERT_EQ(Convert({"--equirect", "--north=90", Path("pano.png"), Path("cube")}), kExitConverted) << err_;
    const auto linear = ProjectLinearPanorama(LinearOf(panorama), PanoramaView{.north = 90});
    for (const Face face : kAllFaces)
        EXPECT_EQ(ReadTga(dir_ / "cube" / FileNameOf(face)), SrgbImageOf(linear[static_cast<std::size_t>(face)]));
    ASSERT_EQ(Convert({"--equirect", "--north=90", "--linear=off", Path("pano.png"), Path("srgb")}), kExitConverted);
    const auto expected = ProjectPanorama(panorama, 90);
    for (const Face face : kAllFaces)
        EXPECT_EQ(ReadTga(dir_ / "srgb" / FileNameOf(face)), expected[static_cast<std::size_t>(face)]);
    ASSERT_EQ(Convert({"--equirect", "--ground", "template", Path("pano.png"), Path("cube")}), kExitConverted);
    EXPECT_EQ(ReadBytes(dir_ / "cube" / FileNameOf(Face::Ground)), ReadBytes(program_ / kGroundTemplateFile));
    EXPECT_EQ(ReadTga(dir_ / "cube" / FileNameOf(Face::North)),
              SrgbImageOf(ProjectLinearPanorama(LinearOf(panorama))[0]));

    WriteTga(dir_ / "square.tga", CoordinateImage(600, 600));
    EXPECT_EQ(Convert({"--equirect", Path("square.tga"), Path("none")}), kExitFailed);
    EXPECT_EQ(err_,
              "zenivor-convert: A 360-degree panorama needs to be twice as wide as it is high\n"
              "zenivor-convert: found 600x600\n");
}

TEST_F(PanoramaCommandTest, PanoramaOptionsThatCannotWorkAreUsageErrors) {
    const std::vector<std::vector<std::string>> rows = {
        {"--north", "90", "a.png"},
        {"--equirect", "--north", "east", "a.png"},
        {"--equirect", "--north"},
        {"--equirect", "--ground", "grass", "a.png"},
        {"--ground=nadir", "a.png"},
        {"--fit", "--equirect", "a.png"},
        {"--equirect", "--north=1e999", "a"},
        {"--equirect"},
    };
    for (const auto& arguments : rows) {
        EXPECT_EQ(Convert(arguments), kExitUsage) << ::testing::PrintToString(arguments);
        EXPECT_NE(err_.find("--help"), std::string::npos) << err_;
    }
}

}  // namespace
}  // namespace zenivor::test
