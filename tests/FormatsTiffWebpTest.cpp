// TIFF and WebP from files their own libraries wrote, across their layouts; and colour profiles
// of every format against Little CMS's own transform.

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <functional>
#include <random>

#include "formats/ImageFormats.h"
#include "imaging/LinearLight.h"
#include "tests/FormatsTestFiles.h"
#include "tests/FormatsWriters.h"

namespace zenivor::test {
namespace {

Result<RgbImage> Decode(const ImageDecoder& decoder, const Bytes& file, ImageSize expected = {}) {
    MemorySource source(file);
    return decoder.Read(source, expected);
}

// Random stored values below 2^bits, and the 8-bit picture they mean.
struct TiffCase {
    const char* name;
    std::function<void(TiffPicture&)> layout;  // on an RGB 8-bit picture of 37 x 21
    int tolerance = 0;
    bool smooth = false;  // slopes instead of random values
};

std::uint8_t EightBits(unsigned value, int bits) {
    const unsigned top = (1u << bits) - 1;
    return static_cast<std::uint8_t>(std::lround(value * 255.0 / top));
}

// The picture a TIFF's values show, worked out from the values: the oracle of the layouts.
RgbImage Expected(const TiffPicture& p) {
    RgbImage image = RgbImage::Unfilled(p.width, p.height);
    const std::size_t palette = std::size_t{1} << p.bits;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint16_t* v = &p.values[(static_cast<std::size_t>(y) * p.width + x) * p.samples];
            if (p.photometric == PHOTOMETRIC_RGB) {
                image.Set(x, y, {EightBits(v[0], p.bits), EightBits(v[1], p.bits), EightBits(v[2], p.bits)});
            } else if (p.photometric == PHOTOMETRIC_PALETTE) {
                image.Set(x, y,
                          {EightBits(p.palette[v[0]], 16), EightBits(p.palette[palette + v[0]], 16),
                           EightBits(p.palette[2 * palette + v[0]], 16)});
            } else {
                const unsigned top = (1u << p.bits) - 1;
                const std::uint8_t grey =
                    EightBits(p.photometric == PHOTOMETRIC_MINISWHITE ? top - v[0] : v[0], p.bits);
                image.Set(x, y, {grey, grey, grey});
            }
        }
    return image;
}

void Fill(TiffPicture& p, unsigned seed) {
    std::mt19937 random(seed);
    const unsigned top = (1u << p.bits) - 1;
    for (std::uint16_t& v : p.values) v = static_cast<std::uint16_t>(random() & top);
    if (p.photometric == PHOTOMETRIC_PALETTE) {
        p.palette.resize(3 * (std::size_t{1} << p.bits));
        for (std::uint16_t& entry : p.palette) entry = static_cast<std::uint16_t>(random());
    }
}

// Reshapes the picture to another sample layout, keeping its size.
std::function<void(TiffPicture&)> Samples(int samples, int bits, int photometric) {
    return [=](TiffPicture& p) {
        p.samples = samples, p.bits = bits, p.photometric = photometric;
        p.values.assign(static_cast<std::size_t>(p.width) * p.height * samples, 0);
    };
}

const TiffCase kTiffCases[] = {
    {"RGB 8-bit, plain strips", [](TiffPicture&) {}},
    {"RGB 8-bit, LZW, big-endian", [](TiffPicture& p) { p.compression = COMPRESSION_LZW, p.bigEndian = true; }},
    {"RGB 8-bit, Deflate, in planes",
     [](TiffPicture& p) { p.compression = COMPRESSION_ADOBE_DEFLATE, p.planes = true; }},
    {"RGB 8-bit, PackBits, tiles", [](TiffPicture& p) { p.compression = COMPRESSION_PACKBITS, p.tileSide = 16; }},
    {"RGB 8-bit, one row a strip", [](TiffPicture& p) { p.rowsPerStrip = 1; }},
    {"RGBA 8-bit", Samples(4, 8, PHOTOMETRIC_RGB)},
    {"RGB 16-bit, Deflate",
     [](TiffPicture& p) { Samples(3, 16, PHOTOMETRIC_RGB)(p), p.compression = COMPRESSION_ADOBE_DEFLATE; }},
    {"RGBA 16-bit, tiles in planes, big-endian",
     [](TiffPicture& p) { Samples(4, 16, PHOTOMETRIC_RGB)(p), p.tileSide = 16, p.planes = true, p.bigEndian = true; }},
    {"grey 1-bit", Samples(1, 1, PHOTOMETRIC_MINISBLACK)},
    {"grey 2-bit, tiles", [](TiffPicture& p) { Samples(1, 2, PHOTOMETRIC_MINISBLACK)(p), p.tileSide = 16; }},
    {"grey 4-bit, LZW",
     [](TiffPicture& p) { Samples(1, 4, PHOTOMETRIC_MINISBLACK)(p), p.compression = COMPRESSION_LZW; }},
    {"grey 8-bit", Samples(1, 8, PHOTOMETRIC_MINISBLACK)},
    {"grey 16-bit", Samples(1, 16, PHOTOMETRIC_MINISBLACK)},
    {"grey 8-bit, white is zero", Samples(1, 8, PHOTOMETRIC_MINISWHITE)},
    {"grey and alpha", Samples(2, 8, PHOTOMETRIC_MINISBLACK)},
    {"palette 2-bit", Samples(1, 2, PHOTOMETRIC_PALETTE)},
    {"palette 4-bit, tiles", [](TiffPicture& p) { Samples(1, 4, PHOTOMETRIC_PALETTE)(p), p.tileSide = 16; }},
    {"palette 8-bit, LZW",
     [](TiffPicture& p) { Samples(1, 8, PHOTOMETRIC_PALETTE)(p), p.compression = COMPRESSION_LZW; }},
    {"BigTIFF", [](TiffPicture& p) { p.bigTiff = true; }},
    {"BigTIFF, big-endian, tiles", [](TiffPicture& p) { p.bigTiff = true, p.bigEndian = true, p.tileSide = 32; }},
    {"the first of two pages", [](TiffPicture& p) { p.secondPage = true; }},
    // JPEG's chroma is subsampled: gentle slopes rather than noise, and a few levels apart.
    {"JPEG-compressed YCbCr", [](TiffPicture& p) { p.compression = COMPRESSION_JPEG, p.tileSide = 16; }, 16, true},
};

TEST(FormatsTiff, EveryLayoutGivesThePictureOfItsValues) {
    unsigned seed = 1;
    for (const TiffCase& row : kTiffCases) {
        SCOPED_TRACE(row.name);
        TiffPicture picture = NewTiff(37, 21, 3, 8);
        row.layout(picture);
        Fill(picture, seed++);
        if (row.smooth)
            for (std::size_t i = 0; i < picture.values.size(); ++i)
                picture.values[i] = static_cast<std::uint16_t>(60 + (i / 3 % 37) * 3 + (i % 3) * 20 + i / 111);
        const Bytes file = EncodeTiff(picture);
        ASSERT_TRUE(TiffDecoder().Recognises(file));
        MemorySource source(file);
        const Result<ImageSize> size = TiffDecoder().ReadSize(source);
        ASSERT_TRUE(size) << NumberAndReason(size.Error());
        EXPECT_EQ(*size, (ImageSize{37, 21}));
        const Result<RgbImage> image = Decode(TiffDecoder(), file, {37, 21});
        ASSERT_TRUE(image) << NumberAndReason(image.Error());
        EXPECT_LE(MaxDifference(*image, Expected(picture)), row.tolerance);
    }
}

TEST(FormatsTiff, AnOrientationIsApplied) {
    TiffPicture picture = NewTiff(6, 4, 3, 8);
    Fill(picture, 7);
    const RgbImage stored = Expected(picture);
    picture.orientation = ORIENTATION_RIGHTTOP;  // 6: the stored first row is on the right
    const Result<RgbImage> image = Decode(TiffDecoder(), EncodeTiff(picture), {4, 6});
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(image->At(x, y), stored.At(y, 3 - x)) << x << "," << y;
}

// A strip, a tile and one row at a time hand over the same rows, and those rows are the 16-bit
// values' own light, no 8-bit step between.
TEST(FormatsTiff, BandsOfAnyLayoutAreTheSixteenBitValuesInLinearLight) {
    TiffPicture base = NewTiff(40, 33, 3, 16);
    Fill(base, 11);
    const struct {
        const char* name;
        int tileSide, rowsPerStrip;
        bool planes;
    } layouts[] = {
        {"one strip", 0, 33, false}, {"a row a strip", 0, 1, false}, {"tiles", 0, 0, false}, {"planes", 0, 5, true}};
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        TiffPicture picture = base;
        picture.rowsPerStrip = layout.rowsPerStrip, picture.planes = layout.planes;
        picture.tileSide = std::string(layout.name) == "tiles" ? 16 : 0;
        const Bytes file = EncodeTiff(picture);
        MemorySource source(file);
        LinearCollector rows;
        ASSERT_TRUE(TiffDecoder().ReadRows(source, {}, 1, rows));
        ASSERT_TRUE(rows.Complete());
        const LinearImage& image = rows.Image();
        for (int y = 0; y < 33; ++y)
            for (int x = 0; x < 40; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_FLOAT_EQ(image.Row(y)[x * 3 + (2 - c)],
                                    static_cast<float>(SrgbToLinear(base.values[(y * 40 + x) * 3 + c] / 65535.0)))
                        << x << "," << y;
    }
}

TEST(FormatsTiff, LayoutsItDoesNotReadAreRefusedByName) {
    const struct {
        const char* name;
        std::function<void(TiffPicture&)> layout;
        ErrorKind code;
        const char* detail;
    } rows[] = {
        {"CMYK", [](TiffPicture& p) { Samples(4, 8, PHOTOMETRIC_SEPARATED)(p); }, errc::UnsupportedLayout, "CMYK"},
        {"12-bit RGB", [](TiffPicture& p) { Samples(3, 12, PHOTOMETRIC_RGB)(p); }, errc::UnsupportedLayout,
         "12-bit RGB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TiffPicture picture = NewTiff(8, 4, 3, 8);
        row.layout(picture);
        const Result<RgbImage> image = Decode(TiffDecoder(), EncodeTiff(picture));
        ASSERT_FALSE(image);
        EXPECT_EQ(image.Error().code, row.code);
        EXPECT_EQ(image.Error().detail, row.detail);
    }
}

TEST(FormatsTiff, DamagedFilesAreRefused) {
    TiffPicture picture = NewTiff(37, 21, 3, 8);
    picture.compression = COMPRESSION_LZW;
    Fill(picture, 3);
    const Bytes whole = EncodeTiff(picture);
    for (const std::size_t cut : {std::size_t{4}, std::size_t{8}, whole.size() / 3, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const Bytes file(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        const Result<RgbImage> image = Decode(TiffDecoder(), file);
        ASSERT_FALSE(image);
        EXPECT_TRUE(image.Error().code == errc::BadTiff || image.Error().code == errc::TruncatedPixels)
            << NumberAndReason(image.Error());
    }
}

TEST(FormatsWebp, LossyAndLosslessWithOrWithoutAlpha) {
    const RgbImage picture = SlopeImage(40, 24);
    const struct {
        const char* name;
        WebpKind kind;
        bool alpha;
        int tolerance;
    } rows[] = {{"lossless", WebpKind::Lossless, false, 0},
                {"lossless with alpha", WebpKind::Lossless, true, 0},
                {"lossy", WebpKind::Lossy, false, 12},
                {"lossy with alpha", WebpKind::Lossy, true, 12}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes file = EncodeWebp(picture, row.kind, row.alpha);
        ASSERT_TRUE(WebpDecoder().Recognises(file));
        MemorySource source(file);
        const Result<ImageSize> size = WebpDecoder().ReadSize(source);
        ASSERT_TRUE(size) << NumberAndReason(size.Error());
        EXPECT_EQ(*size, (ImageSize{40, 24}));
        const Result<RgbImage> image = Decode(WebpDecoder(), file, {40, 24});
        ASSERT_TRUE(image) << NumberAndReason(image.Error());
        EXPECT_LE(MaxDifference(*image, picture), row.tolerance);
    }
}

TEST(FormatsWebp, DamagedFilesAreRefused) {
    const Bytes whole = EncodeWebp(NoiseImage(32, 32), WebpKind::Lossless);
    for (const std::size_t cut : {std::size_t{11}, std::size_t{20}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const Result<RgbImage> image =
            Decode(WebpDecoder(), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_FALSE(image);
    }
}

// The same pixels stored with a Display P3 profile come out as Little CMS turns them into sRGB.
TEST(FormatsColourProfiles, EveryFormatsProfileIsTurnedIntoSrgb) {
    const Bytes p3 = DisplayP3Profile();
    const RgbImage picture = NoiseImage(24, 16);
    PngPicture png = NewPng(24, 16, 2);
    png.samples.resize(24 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c) png.samples[(y * 24 + x) * 3 + c] = picture.At(x, y)[c];
    JpegPicture jpeg = NewJpeg(24, 16, JpegKind::Rgb);
    jpeg.samples.resize(24 * 16 * 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c) jpeg.samples[(y * 24 + x) * 3 + c] = picture.At(x, y)[c];
    TiffPicture tiff = NewTiff(24, 16, 3, 8);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c) tiff.values[(y * 24 + x) * 3 + c] = picture.At(x, y)[c];
    // Each file with the profile and without it: what the second decodes to, Little CMS turns
    // into what the first must decode to.
    const auto withProfile = [&p3](auto stored) {
        stored.icc = p3;
        return stored;
    };
    const struct {
        const char* name;
        const ImageDecoder& decoder;
        Bytes file, asStored;
        int tolerance;  // TIFF's goes through linear light in floats
    } rows[] = {{"PNG iCCP", PngDecoder(), EncodePng(withProfile(png)), EncodePng(png), 0},
                {"JPEG APP2", JpegDecoder(), EncodeJpeg(withProfile(jpeg)), EncodeJpeg(jpeg), 0},
                {"TIFF", TiffDecoder(), EncodeTiff(withProfile(tiff)), EncodeTiff(tiff), 1},
                {"WebP ICCP", WebpDecoder(), EncodeWebp(picture, WebpKind::Lossless, false, p3),
                 EncodeWebp(picture, WebpKind::Lossless), 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Result<RgbImage> stored = Decode(row.decoder, row.asStored);
        const Result<RgbImage> image = Decode(row.decoder, row.file);
        ASSERT_TRUE(stored && image);
        EXPECT_LE(MaxDifference(*image, LcmsToSrgb(*stored, p3)), row.tolerance);
        EXPECT_GT(MaxDifference(*image, *stored), 20);  // P3 is wider than sRGB: the colours moved
    }
}

}  // namespace
}  // namespace zenivor::test
