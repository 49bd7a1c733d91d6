// zenivor-convert with the new formats and colour options: TIFF and WebP strips as their TGA
// twins, resampling in linear light (and the sRGB averaging of 1.0 with --linear off), HDR strips
// through the documented exposure and curve, and progress on a terminal only.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "cli/ConvertCommand.h"
#include "conversion/SkyTables.h"
#include "tests/ConverterRun.h"
#include "tests/FormatsTestFiles.h"
#include "tests/FormatsWriters.h"
#include "tests/TestSupport.h"
#include "tests/ToneOracle.h"

namespace zenivor::test {
namespace {

class ColourCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / kGroundTemplateFile, CoordinateImage(kFaceSize, kFaceSize));
    }
    Outcome Convert(const std::vector<std::string>& arguments, bool terminal = false) {
        return RunConverter(arguments, {.programFolder = program_, .terminal = terminal});
    }
    static std::vector<std::vector<std::uint8_t>> CubeIn(const std::string& folder) {
        return CubeFileBytes(PathFromUtf8(folder));
    }
    std::string Path(const std::string& name) const { return Utf8FromPath(dir_ / name); }

    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
};

TEST_F(ColourCommandTest, TiffAndWebpStripsGiveTheFilesOfATgaOfTheSamePixels) {
    const RgbImage strip = CoordinateImage(1008, 504);
    WriteTga(dir_ / "strip.tga", strip);
    ASSERT_EQ(Convert({Path("strip.tga"), Path("tga")}).status, kExitConverted);
    TiffPicture wide = NewTiff(1008, 504, 3, 16);  // 16 bits of the same pixels
    for (int y = 0; y < 504; ++y)
        for (int x = 0; x < 1008; ++x)
            for (int c = 0; c < 3; ++c)
                wide.values[(static_cast<std::size_t>(y) * 1008 + x) * 3 + c] =
                    static_cast<std::uint16_t>(strip.At(x, y)[c] * 257);
    const struct {
        const char* name;
        Bytes file;
    } rows[] = {{"strip.tif", EncodeRgbTiff(strip)},
                {"strip16.tiff", EncodeTiff(wide)},
                {"strip.webp", EncodeWebp(strip, WebpKind::Lossless)}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(dir_ / row.name, row.file);
        std::string folder = std::string("cube-of-") + row.name;
        std::replace(folder.begin(), folder.end(), '.', '-');  // a folder, not a file name
        const std::string out = Path(folder);
        const Outcome outcome = Convert({Path(row.name), out});
        ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
        EXPECT_EQ(CubeIn(out), CubeIn(Path("tga")));
    }
}

// A strip's four side faces: every byte within [low, high].
void ExpectSideFacesWithin(const std::string& folder, int low, int high) {
    for (const Face face : {Face::North, Face::West, Face::South, Face::East}) {
        const RgbImage image = ReadTga(PathFromUtf8(folder) / FileNameOf(face));
        const auto [least, most] = std::minmax_element(image.pixels.begin(), image.pixels.end());
        EXPECT_GE(*least, low) << FileNameOf(face);
        EXPECT_LE(*most, high) << FileNameOf(face);
    }
}

TEST_F(ColourCommandTest, FitShrinksACheckerboardToTheGreyTheEyeSees) {
    WriteTga(dir_ / "board.tga", Checkerboard(4032, 1008));
    ASSERT_EQ(Convert({"--fit", Path("board.tga"), Path("linear")}).status, kExitConverted);
    ExpectSideFacesWithin(Path("linear"), 186, 190);
    ASSERT_EQ(Convert({"--fit", "--linear", "off", Path("board.tga"), Path("srgb")}).status, kExitConverted);
    ExpectSideFacesWithin(Path("srgb"), 127, 128);
}

// The documented mapping, written out: exposure 2^EV, then Narkowicz's ACES fit or a clip, then
// the sRGB curve (tests/ToneOracle.h).
TEST_F(ColourCommandTest, HdrStripsGoThroughTheExposureAndCurveAsked) {
    const float radiance = 0.3F;
    HdrPicture picture{2016, 504, std::vector<float>(2016 * 504 * 3, radiance), true, "FORMAT=32-bit_rle_rgbe\n", ""};
    WriteBytes(dir_ / "sky.hdr", EncodeHdr(picture));
    // RGBE keeps 0.3 as its nearest mantissa: (153 + 0.5) / 512.
    const double stored = 153.5 / 512;
    const struct {
        std::vector<std::string> options;
        std::string step;
        int level;
    } rows[] = {
        {{}, "Exposure -0.74 EV (automatic)", SrgbLevel(Aces(0.18))},
        {{"--exposure", "1", "--tonemap", "clip"}, "Exposure +1.00 EV", SrgbLevel(std::min(stored * 2, 1.0))},
        {{"--exposure=-2", "--tonemap=reinhard"}, "Exposure -2.00 EV", SrgbLevel(stored / 4 / (1 + stored / 4))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.step);
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {"-v", Path("sky.hdr"), Path("sky")});
        const Outcome outcome = Convert(arguments);
        ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
        EXPECT_NE(outcome.err.find("zenivor-convert: " + row.step + "\n"), std::string::npos) << outcome.err;
        ExpectSideFacesWithin(Path("sky"), row.level - 1, row.level + 1);
    }
}

// A panorama's faces: every byte of the four side faces and the cap and ground within [low, high].
void ExpectAllFacesWithin(const std::string& folder, int low, int high) {
    for (const Face face : kAllFaces) {
        const RgbImage image = ReadTga(PathFromUtf8(folder) / FileNameOf(face));
        const auto [least, most] = std::minmax_element(image.pixels.begin(), image.pixels.end());
        EXPECT_GE(*least, low) << FileNameOf(face);
        EXPECT_LE(*most, high) << FileNameOf(face);
    }
}

TEST_F(ColourCommandTest, EquirectFiltersInLinearLight) {
    // A checkerboard finer than any face pixel can show (8192 wide, held at half that size):
    // grey as the eye sees it, and 128 in sRGB values.
    WriteTga(dir_ / "board.tga", Checkerboard(8192, 4096));
    ASSERT_EQ(Convert({"--equirect", Path("board.tga"), Path("linear")}).status, kExitConverted);
    ExpectAllFacesWithin(Path("linear"), 186, 190);
    ASSERT_EQ(Convert({"--equirect", "--linear", "off", Path("board.tga"), Path("srgb")}).status, kExitConverted);
    const RgbImage north = ReadTga(dir_ / "srgb" / FileNameOf(Face::North));
    double sum = 0;
    for (const std::uint8_t byte : north.pixels) sum += byte;
    EXPECT_NEAR(sum / static_cast<double>(north.pixels.size()), 127.5, 1);
    // A constant panorama gives its value, byte for byte.
    WriteBytes(dir_ / "flat.png", EncodeRgbPng(RgbImage::Filled(2048, 1024, {77, 140, 201})));
    ASSERT_EQ(Convert({"--equirect", Path("flat.png"), Path("flat")}).status, kExitConverted);
    for (const Face face : kAllFaces)
        EXPECT_EQ(ReadTga(dir_ / "flat" / FileNameOf(face)), RgbImage::Filled(kFaceSize, kFaceSize, {77, 140, 201}));
}

// An OpenEXR panorama of one radiance through the automatic exposure, and through one given.
TEST_F(ColourCommandTest, EquirectTakesAnHdrPanoramaThroughTheExposureAndCurve) {
    ExrPicture picture;
    picture.width = 1024, picture.height = 512, picture.half = false, picture.compression = 3;  // ZIP
    picture.rgb.assign(1024 * 512 * 3, 2.5F);
    WriteBytes(dir_ / "sky.exr", EncodeExr(picture));
    const Outcome automatic = Convert({"--equirect", "-v", Path("sky.exr"), Path("auto")});
    ASSERT_EQ(automatic.status, kExitConverted) << automatic.err;
    EXPECT_NE(automatic.err.find("zenivor-convert: Exposure -3.80 EV (automatic)\n"), std::string::npos)
        << automatic.err;
    ExpectAllFacesWithin(Path("auto"), SrgbLevel(Aces(0.18)) - 1, SrgbLevel(Aces(0.18)) + 1);
    ASSERT_EQ(Convert({"--equirect", "--exposure=-3", "--tonemap=clip", Path("sky.exr"), Path("given")}).status,
              kExitConverted);
    ExpectAllFacesWithin(Path("given"), SrgbLevel(2.5 / 8) - 1, SrgbLevel(2.5 / 8) + 1);
}

// A sun fifty thousand times the sky's radiance: white where it is, grey (not coloured), and no
// darker round it than Catmull-Rom's overshoot of 2/27 of a step allows in display light (the
// filter works after the tone curve; on radiance its lobes would ring black).
TEST_F(ColourCommandTest, AnHdrSunLeavesNoDarkRing) {
    ExrPicture picture;
    picture.width = 1024, picture.height = 512, picture.half = false, picture.compression = 3;
    picture.rgb.assign(1024 * 512 * 3, 1.0F);
    for (int y = 250; y < 253; ++y)
        for (int x = 510; x < 513; ++x)
            for (int c = 0; c < 3; ++c) picture.rgb[(static_cast<std::size_t>(y) * 1024 + x) * 3 + c] = 50000.0F;
    WriteBytes(dir_ / "sun.exr", EncodeExr(picture));
    ASSERT_EQ(Convert({"--equirect", Path("sun.exr"), Path("sun")}).status, kExitConverted);
    const double sky = Aces(0.18);
    ExpectAllFacesWithin(Path("sun"), SrgbLevel(sky - 2.0 / 27 * (1 - sky)), 255);
    const RgbImage north = ReadTga(dir_ / "sun" / FileNameOf(Face::North));
    Rgb brightest{0, 0, 0};
    for (int y = 0; y < kFaceSize; ++y)
        for (int x = 0; x < kFaceSize; ++x) {
            const Rgb pixel = north.At(x, y);
            EXPECT_TRUE(pixel[0] == pixel[1] && pixel[1] == pixel[2]) << x << "," << y;
            if (pixel[0] > brightest[0]) brightest = pixel;
        }
    EXPECT_EQ(brightest, (Rgb{255, 255, 255}));
}

TEST_F(ColourCommandTest, ColourOptionsAreCheckedAsUsage) {
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"--linear", "maybe", "a.tga"},
                                                      {"--exposure", "bright", "a.tga"},
                                                      {"--exposure=", "a.tga"},
                                                      {"--tonemap", "aces", "a.tga"},
                                                      {"--tonemap"}}) {
        const Outcome outcome = Convert(arguments);
        EXPECT_EQ(outcome.status, kExitUsage) << ::testing::PrintToString(arguments);
    }
}

TEST_F(ColourCommandTest, ProgressIsShownOnATerminalOnly) {
    WriteTga(dir_ / "wide.tga", CoordinateImage(4032, 1008));
    const Outcome terminal = Convert({"--fit", Path("wide.tga"), Path("t")}, true);
    ASSERT_EQ(terminal.status, kExitConverted);
    EXPECT_NE(terminal.err.find("\r\x1b[2Kzenivor-convert: Reading the strip 50%"), std::string::npos);
    EXPECT_NE(terminal.err.find("\r\x1b[2Kzenivor-convert: Reading the strip 100%"), std::string::npos);
    EXPECT_TRUE(terminal.err.ends_with("\r\x1b[2K")) << "the line is taken away at the end";
    const Outcome pipe = Convert({"--fit", Path("wide.tga"), Path("p")});
    EXPECT_EQ(pipe.err, "");
}

}  // namespace
}  // namespace zenivor::test
