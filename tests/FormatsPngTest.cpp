// PNG decoding: every colour type, bit depth and interlacing to exact RGB, damaged files
// refused in libpng's words, and the size checks made before any pixel is decoded.

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <string>

#include "formats/ImageFormats.h"
#include "tests/FormatsTestFiles.h"

namespace zenivor::test {
namespace {

Result<RgbImage> ReadPng(const Bytes& file, ImageSize expected = {}) {
    MemorySource source(file);
    return PngDecoder().Read(source, expected);
}

// Samples that reach every part of the 16-bit range, cut to the depth's top bits.
std::uint16_t Sample(int x, int y, int channel, int depth) {
    const unsigned pattern = (x * 40503u + y * 21011u + channel * 7919u + x * y * 97u) & 0xFFFF;
    return static_cast<std::uint16_t>(pattern >> (16 - depth));
}

// What a stored sample means in 8 bits: exact multiples below 8 bits, rounded from 16.
std::uint8_t EightBits(std::uint16_t sample, int depth) {
    if (depth == 16) return static_cast<std::uint8_t>(std::lround(sample * 255.0 / 65535.0));
    return static_cast<std::uint8_t>(sample * 255 / ((1 << depth) - 1));
}

Rgb PaletteEntry(int index) {
    return {static_cast<std::uint8_t>(index * 7 + 3), static_cast<std::uint8_t>(255 - index * 5),
            static_cast<std::uint8_t>(index * 13)};
}

struct PngCase {
    const char* name;
    int colourType;
    int bitDepth;
    bool transparency;  // tRNS: alpha for palette entries, else the first pixel's colour
};

const PngCase kPngCases[] = {
    {"Grey1", PNG_COLOR_TYPE_GRAY, 1, false},
    {"Grey2", PNG_COLOR_TYPE_GRAY, 2, false},
    {"Grey4", PNG_COLOR_TYPE_GRAY, 4, false},
    {"Grey8", PNG_COLOR_TYPE_GRAY, 8, false},
    {"Grey16", PNG_COLOR_TYPE_GRAY, 16, false},
    {"Grey8Trns", PNG_COLOR_TYPE_GRAY, 8, true},
    {"Grey16Trns", PNG_COLOR_TYPE_GRAY, 16, true},
    {"Palette1", PNG_COLOR_TYPE_PALETTE, 1, false},
    {"Palette2", PNG_COLOR_TYPE_PALETTE, 2, false},
    {"Palette4", PNG_COLOR_TYPE_PALETTE, 4, false},
    {"Palette8", PNG_COLOR_TYPE_PALETTE, 8, false},
    {"Palette4Trns", PNG_COLOR_TYPE_PALETTE, 4, true},
    {"Palette8Trns", PNG_COLOR_TYPE_PALETTE, 8, true},
    {"Rgb8", PNG_COLOR_TYPE_RGB, 8, false},
    {"Rgb16", PNG_COLOR_TYPE_RGB, 16, false},
    {"Rgb8Trns", PNG_COLOR_TYPE_RGB, 8, true},
    {"Rgb16Trns", PNG_COLOR_TYPE_RGB, 16, true},
    {"GreyAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
    {"GreyAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false},
    {"Rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false},
    {"Rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false},
};

int StoredChannels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

// The picture's samples, and the RGB it stands for: palette looked up, grey copied to all
// three channels, alpha (the last channel of two or four) left out.
void MakeCase(const PngCase& row, int width, int height, PngPicture& picture, RgbImage& expected) {
    picture = NewPng(width, height, row.colourType, row.bitDepth);
    expected = RgbImage::Unfilled(width, height);
    const int channels = StoredChannels(row.colourType);
    const bool palette = row.colourType == PNG_COLOR_TYPE_PALETTE;
    if (palette)
        for (int i = 0; i < 1 << row.bitDepth; ++i) picture.palette.push_back(PaletteEntry(i));
    if (palette && row.transparency) picture.paletteAlpha = {0, 128, 255};
    picture.transparentFirstColour = row.transparency && !palette;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) picture.samples.push_back(Sample(x, y, c, row.bitDepth));
            const std::uint16_t* s = &picture.samples[picture.samples.size() - channels];
            if (palette) expected.Set(x, y, PaletteEntry(s[0]));
            const std::uint8_t grey = EightBits(s[0], row.bitDepth);
            if (!palette && channels <= 2) expected.Set(x, y, {grey, grey, grey});
            if (channels >= 3) expected.Set(x, y, {grey, EightBits(s[1], row.bitDepth), EightBits(s[2], row.bitDepth)});
        }
}

class PngLayouts : public testing::TestWithParam<std::tuple<PngCase, bool>> {};

TEST_P(PngLayouts, DecodeToTheSamplesAsRgb) {
    const auto& [row, interlaced] = GetParam();
    PngPicture picture;
    RgbImage expected;
    MakeCase(row, 13, 11, picture, expected);  // odd sizes leave Adam7's passes partly empty
    picture.interlaced = interlaced;
    const Result<RgbImage> image = ReadPng(EncodePng(picture));
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    EXPECT_EQ(*image, expected);
}

INSTANTIATE_TEST_SUITE_P(FormatsPng, PngLayouts, testing::Combine(testing::ValuesIn(kPngCases), testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Interlaced" : "");
                         });

TEST(FormatsPng, SixteenBitGreyRoundsEveryValue) {
    PngPicture picture = NewPng(256, 256, PNG_COLOR_TYPE_GRAY, 16);
    RgbImage expected = RgbImage::Unfilled(256, 256);
    for (int value = 0; value < 65536; ++value) {
        picture.samples.push_back(static_cast<std::uint16_t>(value));
        const std::uint8_t grey = EightBits(static_cast<std::uint16_t>(value), 16);
        expected.Set(value % 256, value / 256, {grey, grey, grey});
    }
    const Result<RgbImage> image = ReadPng(EncodePng(picture));
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    EXPECT_EQ(*image, expected);
}

// A small RGB file with a text chunk before its pixels.
Bytes SamplePng() {
    const RgbImage image = NoiseImage(16, 8);
    PngPicture picture = NewPng(16, 8, PNG_COLOR_TYPE_RGB);
    picture.samples.assign(image.pixels.begin(), image.pixels.end());
    picture.text = "made by the format tests";
    return EncodePng(picture);
}

TEST(FormatsPng, TruncatedFilesAreRefused) {
    const Bytes whole = SamplePng();
    ASSERT_TRUE(ReadPng(whole));
    for (const std::size_t cut : {std::size_t{0}, std::size_t{7}, std::size_t{8}, std::size_t{20}, std::size_t{33},
                                  std::size_t{50}, whole.size() / 2, whole.size() - 12, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        ExpectRefused(ReadPng(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut))), errc::BadPng);
    }
}

struct PngDamage {
    const char* name;
    void (*apply)(Bytes& png);
};

std::size_t DataOf(const Bytes& png, const char* type) { return FindPngChunk(png, type) + 8; }
std::size_t LengthOf(const Bytes& png, const char* type) {
    const std::size_t at = FindPngChunk(png, type);
    return std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 | std::size_t{png[at + 2]} << 8 | png[at + 3];
}

const PngDamage kPngDamage[] = {
    {"signature", [](Bytes& png) { png[1] = 'Q'; }},
    {"header CRC", [](Bytes& png) { png[29] ^= 1; }},
    {"zero width", [](Bytes& png) { SetPngSize(png, 0, 8); }},
    {"colour type 5", [](Bytes& png) { png[25] = 5, FixPngCrc(png, 8); }},
    {"pixel data CRC", [](Bytes& png) { png[DataOf(png, "IDAT") + LengthOf(png, "IDAT")] ^= 0xFF; }},
    {"pixel data, CRC made to fit",
     [](Bytes& png) {
         png[DataOf(png, "IDAT") + LengthOf(png, "IDAT") / 2] ^= 0x55;
         FixPngCrc(png, FindPngChunk(png, "IDAT"));
     }},
    {"pixel data longer than the file", [](Bytes& png) { png[FindPngChunk(png, "IDAT") + 1] = 0x7F; }},
    {"text chunk CRC", [](Bytes& png) { png[DataOf(png, "tEXt") + LengthOf(png, "tEXt")] ^= 0xFF; }},
    {"unknown critical chunk",
     [](Bytes& png) { png[FindPngChunk(png, "tEXt") + 4] = 'T', FixPngCrc(png, FindPngChunk(png, "TEXt")); }},
};

TEST(FormatsPng, DamagedFilesAreRefusedInLibpngsWords) {
    for (const PngDamage& damage : kPngDamage) {
        SCOPED_TRACE(damage.name);
        Bytes file = SamplePng();
        damage.apply(file);
        ExpectRefused(ReadPng(file), errc::BadPng);
    }
}

TEST(FormatsPng, OnlyAnExifChunkBeforeThePixelsAndWithinTheLimitTurnsThem) {
    const RgbImage stored = NoiseImage(16, 8);
    Bytes oversized = ExifTiff(true, 6);
    oversized.resize(5 << 20);  // past the 4 MiB that ancillary chunks may take
    const struct {
        const char* name;
        Bytes exif;
        bool afterPixels;
        ImageSize size;
    } rows[] = {{"before the pixels", ExifTiff(true, 6), false, {8, 16}},
                {"after the pixels", ExifTiff(true, 6), true, {16, 8}},
                {"over the limit", oversized, false, {16, 8}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PngPicture picture = NewPng(16, 8, PNG_COLOR_TYPE_RGB);
        picture.samples.assign(stored.pixels.begin(), stored.pixels.end());
        picture.exif = row.exif;
        picture.exifAfterPixels = row.afterPixels;
        const Result<RgbImage> image = ReadPng(EncodePng(picture));
        ASSERT_TRUE(image) << NumberAndReason(image.Error());
        EXPECT_EQ((ImageSize{image->width, image->height}), row.size);
    }
}

TEST(FormatsPng, AChunkDeclaringMoreThanTheFileHoldsIsRefused) {
    Bytes file = EncodeRgbPng(NoiseImage(16, 8), ExifTiff(true, 6));
    file[FindPngChunk(file, "eXIf")] = 0x60;  // 1.6 GB, which must not be allocated first
    ExpectRefused(ReadPng(file), errc::BadPng);
}

TEST(FormatsPng, OnlyTheExpectedSizeIsDecoded) {
    const struct {
        ImageSize expected;
        bool accepted;
    } rows[] = {{{0, 0}, true},   {{16, 0}, true}, {{0, 8}, true},  {{16, 8}, true},
                {{17, 0}, false}, {{0, 9}, false}, {{8, 16}, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.expected.width) + " x " + std::to_string(row.expected.height));
        const Result<RgbImage> image = ReadPng(SamplePng(), row.expected);
        ASSERT_EQ(static_cast<bool>(image), row.accepted);
        if (!row.accepted) {
            EXPECT_EQ(image.Error().code, errc::UnexpectedSize);
        }
        if (!row.accepted) {
            EXPECT_EQ(image.Error().detail, "16 x 8 pixels");
        }
    }
}

TEST(FormatsPng, TheSizeIsCheckedBeforeAnyPixelIsDecoded) {
    Bytes file = SamplePng();
    kPngDamage[4].apply(file);  // a pixel-data CRC that decoding would trip on
    const Result<RgbImage> image = ReadPng(file, {17, 8});
    ASSERT_FALSE(image);
    EXPECT_EQ(image.Error().code, errc::UnexpectedSize);
}

}  // namespace
}  // namespace zenivor::test
