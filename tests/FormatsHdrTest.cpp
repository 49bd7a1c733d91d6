// Radiance HDR and OpenEXR: radiance fields written by an outside writer come back as radiance,
// across the layouts; refusals name what they refuse; and an HDR source becomes 8 bits through
// the documented exposure and curve.

#include <gtest/gtest.h>

#include <ImfCompression.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "formats/ImageFormats.h"
#include "imaging/ToneMap.h"
#include "tests/FormatsTestFiles.h"
#include "tests/FormatsWriters.h"
#include "tests/ToneOracle.h"

namespace zenivor::test {
namespace {

// A radiance field over five orders of magnitude, with runs of equal pixels for the run-length
// coder: red with x, green with y, blue in blocks of eight.
std::vector<float> RadianceField(int width, int height) {
    std::vector<float> rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            rgb.push_back(std::exp2(static_cast<float>(x % 17) - 6.0F));
            rgb.push_back(0.001F + 100.0F * static_cast<float>(y) / static_cast<float>(height));
            rgb.push_back(static_cast<float>((x / 8) % 3));
        }
    return rgb;
}

Result<LinearImage> ReadLinear(const ImageDecoder& decoder, const Bytes& file) {
    MemorySource source(file);
    LinearCollector rows;
    if (Result<void> read = decoder.ReadRows(source, {}, 1, rows); !read) return read.Error();
    if (!rows.Complete()) return Error{errc::TruncatedPixels};
    return std::move(rows.Image());
}

// Every pixel within `relative` of the field's largest channel at that pixel (RGBE's one shared
// exponent), or of its own value for formats with one a channel.
void ExpectField(const LinearImage& image, const std::vector<float>& rgb, double relative, bool shared) {
    ASSERT_EQ(image.samples.size(), rgb.size());
    EXPECT_EQ(image.light, Light::Scene);
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        const double largest = std::max({rgb[i], rgb[i + 1], rgb[i + 2]});
        for (int c = 0; c < 3; ++c) {
            const double want = rgb[i + c];
            const double got = image.samples[i + 2 - c];  // blue, green, red
            ASSERT_NEAR(got, want, relative * (shared ? largest : want) + 1e-30)
                << "pixel " << i / 3 << " channel " << c;
        }
    }
}

TEST(FormatsHdr, FlatAndRunLengthScanlinesGiveTheRadianceWritten) {
    const struct {
        const char* name;
        int width, height;
        bool runLength;
        std::string header;
        double scale;  // what the pixels are multiplied by on reading
    } rows[] = {
        {"run-length", 300, 7, true, "FORMAT=32-bit_rle_rgbe\n", 1},
        {"flat", 300, 7, false, "FORMAT=32-bit_rle_rgbe\n", 1},
        {"narrower than runs may be", 7, 5, false, "FORMAT=32-bit_rle_rgbe\n", 1},
        {"no format line, comments", 64, 3, true, "# made by the test\nSOFTWARE=test\n", 1},
        {"two exposures", 64, 3, true, "EXPOSURE=2\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=0.25\n", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HdrPicture picture{row.width, row.height, RadianceField(row.width, row.height), row.runLength, row.header, ""};
        const Bytes file = EncodeHdr(picture);
        ASSERT_TRUE(HdrDecoder().Recognises(file));
        MemorySource source(file);
        const Result<ImageSize> size = HdrDecoder().ReadSize(source);
        ASSERT_TRUE(size) << NumberAndReason(size.Error());
        EXPECT_EQ(*size, (ImageSize{row.width, row.height}));
        Result<LinearImage> image = ReadLinear(HdrDecoder(), file);
        ASSERT_TRUE(image) << NumberAndReason(image.Error());
        for (float& sample : image->samples) sample = static_cast<float>(sample / row.scale);
        ExpectField(*image, picture.rgb, 1.0 / 128, true);  // a mantissa step of the largest channel
    }
}

TEST(FormatsHdr, WhatItDoesNotReadIsRefusedByName) {
    const auto with = [](std::string header, std::string resolution) {
        return EncodeHdr({16, 2, RadianceField(16, 2), true, std::move(header), std::move(resolution)});
    };
    const std::string head = "#?RADIANCE\n\n-Y 1 +X 16\n";
    Bytes runTooLong(head.begin(), head.end()), otherWidth(head.begin(), head.end());
    runTooLong.insert(runTooLong.end(), {2, 2, 0, 16, 128 + 72, 5});  // a run of 72 in 16 pixels
    otherWidth.insert(otherWidth.end(), {2, 2, 0, 17, 128 + 17, 5});
    runTooLong.resize(runTooLong.size() + 64, 0), otherWidth.resize(otherWidth.size() + 64, 0);
    const struct {
        const char* name;
        Bytes file;
        ErrorKind code;
        std::string detail;
    } rows[] = {
        {"bottom to top", with("", "+Y 2 +X 16"), errc::UnsupportedLayout,
         "the orientation +Y +X; Zenivor reads -Y +X (rows from the top)"},
        {"columns first", with("", "+X 16 -Y 2"), errc::UnsupportedLayout,
         "the orientation +X -Y; Zenivor reads -Y +X (rows from the top)"},
        {"XYZE pixels", with("FORMAT=32-bit_rle_xyze\n", ""), errc::UnsupportedLayout,
         "XYZE pixels; Zenivor reads RGBE"},
        {"an unknown format", with("FORMAT=16-bit_strange\n", ""), errc::BadHdr,
         "an unknown pixel format 16-bit_strange"},
        {"no resolution", with("", "-Y 2"), errc::BadHdr, "no resolution line"},
        {"a zero width", with("", "-Y 2 +X 0"), errc::ZeroSize, ""},
        {"a bad exposure", with("EXPOSURE=-1\n", ""), errc::BadHdr, "an EXPOSURE that is no positive number"},
        {"a run past the scanline", runTooLong, errc::BadHdr, "a run past the scanline's end"},
        {"a scanline of another width", otherWidth, errc::BadHdr, "a run-length scanline of another width"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Result<LinearImage> image = ReadLinear(HdrDecoder(), row.file);
        ASSERT_FALSE(image);
        EXPECT_EQ(image.Error().code, row.code);
        EXPECT_EQ(image.Error().detail, row.detail);
    }
}

TEST(FormatsHdr, TruncatedFilesAreRefused) {
    const Bytes whole = EncodeHdr({64, 4, RadianceField(64, 4), true, "FORMAT=32-bit_rle_rgbe\n", ""});
    for (const std::size_t cut :
         {std::size_t{0}, std::size_t{5}, std::size_t{20}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const Result<LinearImage> image =
            ReadLinear(HdrDecoder(), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_FALSE(image);
        EXPECT_TRUE(image.Error().code == errc::TruncatedHeader || image.Error().code == errc::TruncatedPixels ||
                    image.Error().code == errc::BadHdr)
            << NumberAndReason(image.Error());
    }
}

TEST(FormatsExr, EveryLayoutGivesTheRadianceWritten) {
    const struct {
        const char* name;
        bool half;
        int compression, tileSide;
        bool mipmap, grey, alpha;
        int left, top;
        double relative;  // half keeps 11 bits; the lossy coders less
    } rows[] = {
        {"half, uncompressed", true, Imf::NO_COMPRESSION, 0, false, false, false, 0, 0, 1e-3},
        {"float, uncompressed", false, Imf::NO_COMPRESSION, 0, false, false, false, 0, 0, 0},
        {"half, RLE", true, Imf::RLE_COMPRESSION, 0, false, false, false, 0, 0, 1e-3},
        {"half, ZIPS", true, Imf::ZIPS_COMPRESSION, 0, false, false, false, 0, 0, 1e-3},
        {"float, ZIP", false, Imf::ZIP_COMPRESSION, 0, false, false, false, 0, 0, 0},
        {"half, PIZ", true, Imf::PIZ_COMPRESSION, 0, false, false, false, 0, 0, 1e-3},
        {"float, PXR24", false, Imf::PXR24_COMPRESSION, 0, false, false, false, 0, 0, 1e-4},
        {"half, B44", true, Imf::B44_COMPRESSION, 0, false, false, false, 0, 0, 0.2},
        {"half, tiled, ZIP", true, Imf::ZIP_COMPRESSION, 16, false, false, false, 0, 0, 1e-3},
        {"float, mipmapped tiles", false, Imf::ZIP_COMPRESSION, 32, true, false, false, 0, 0, 0},
        {"with alpha", true, Imf::ZIP_COMPRESSION, 0, false, false, true, 0, 0, 1e-3},
        {"luminance alone", true, Imf::ZIP_COMPRESSION, 0, false, true, false, 0, 0, 1e-3},
        {"a data window off the origin", true, Imf::PIZ_COMPRESSION, 0, false, false, false, -5, 12, 1e-3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ExrPicture picture;
        picture.width = 70, picture.height = 37;
        picture.rgb = RadianceField(70, 37);
        if (row.grey)
            for (std::size_t i = 0; i < picture.rgb.size(); i += 3)
                picture.rgb[i + 1] = picture.rgb[i + 2] = picture.rgb[i];
        picture.half = row.half, picture.compression = row.compression, picture.tileSide = row.tileSide;
        picture.mipmap = row.mipmap, picture.grey = row.grey, picture.alpha = row.alpha;
        picture.left = row.left, picture.top = row.top;
        const Bytes file = EncodeExr(picture);
        ASSERT_TRUE(ExrDecoder().Recognises(file));
        MemorySource source(file);
        const Result<ImageSize> size = ExrDecoder().ReadSize(source);
        ASSERT_TRUE(size) << NumberAndReason(size.Error());
        EXPECT_EQ(*size, (ImageSize{70, 37}));
        const Result<LinearImage> image = ReadLinear(ExrDecoder(), file);
        ASSERT_TRUE(image) << NumberAndReason(image.Error());
        ExpectField(*image, picture.rgb, row.relative, row.relative > 0.01);
    }
}

// The core library of Debian 12's OpenEXR (3.1) cannot decode DWA yet.
TEST(FormatsExr, DwaCompressionIsRefusedByName) {
    for (const int compression : {Imf::DWAA_COMPRESSION, Imf::DWAB_COMPRESSION}) {
        ExrPicture picture;
        picture.width = 40, picture.height = 40, picture.rgb = RadianceField(40, 40), picture.compression = compression;
        const Result<LinearImage> image = ReadLinear(ExrDecoder(), EncodeExr(picture));
        ASSERT_FALSE(image);
        EXPECT_EQ(image.Error().code, errc::UnsupportedLayout);
        EXPECT_EQ(image.Error().detail, "DWA compression, which the OpenEXR library of this system cannot decode");
    }
}

TEST(FormatsExr, DamagedAndTruncatedFilesAreRefused) {
    ExrPicture picture;
    picture.width = 64, picture.height = 40, picture.rgb = RadianceField(64, 40);
    picture.compression = Imf::ZIP_COMPRESSION;
    const Bytes whole = EncodeExr(picture);
    for (const std::size_t cut : {std::size_t{3}, std::size_t{40}, whole.size() / 2, whole.size() - 1}) {
        SCOPED_TRACE(cut);
        const Result<LinearImage> image =
            ReadLinear(ExrDecoder(), Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_FALSE(image);
    }
    Bytes damaged = whole;
    for (std::size_t i = whole.size() - 200; i < whole.size(); i += 7) damaged[i] ^= 0x5A;
    EXPECT_FALSE(ReadLinear(ExrDecoder(), damaged));
}

// The documented mapping, written out here: EV = log2(0.18 / median luminance, the brightest
// 0.1 % left out); then Narkowicz's ACES fit per channel; then the sRGB curve.
// A sky of grey radiance with a tenth of a percent of sun: the sun is left out of the median,
// the grey lands on middle grey through the curve, and the sun is white, not coloured.
TEST(FormatsHdrToneMapping, AnHdrSourceBecomesEightBitsThroughTheDocumentedMapping) {
    const int width = 200, height = 100;
    std::vector<float> rgb;
    for (int i = 0; i < width * height; ++i) {
        const bool sun = i % 1000 == 1;  // 0.1 %, among the brighter grey
        const float sky = i % 2 == 0 ? 3.0F : 5.0F;
        rgb.insert(rgb.end(), {sun ? 90000.0F : sky, sun ? 70000.0F : sky, sun ? 40000.0F : sky});
    }
    // Left out the sun, half the pixels and ten more are the darker grey: the median.
    const double median = 3.0;
    const double ev = std::log2(0.18 / median);
    const struct {
        const char* name;
        Bytes file;
        const ImageDecoder& decoder;
    } rows[] = {{"Radiance HDR", EncodeHdr({width, height, rgb, true, "FORMAT=32-bit_rle_rgbe\n", ""}), HdrDecoder()},
                {"OpenEXR", EncodeExr({width, height, rgb, false, false, false, Imf::ZIP_COMPRESSION, 0, false, 0, 0}),
                 ExrDecoder()}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Result<LinearImage> linear = ReadLinear(row.decoder, row.file);
        ASSERT_TRUE(linear);
        EXPECT_NEAR(ExposureFor(*linear, {}), ev, 1.0 / 128);
        MemorySource source(row.file);
        const Result<RgbImage> image = row.decoder.Read(source, {});
        ASSERT_TRUE(image) << NumberAndReason(image.Error());
        for (const int i : {0, 2, 3, 1001, 2001}) {
            const Rgb pixel = image->At(i % width, i / width);
            SCOPED_TRACE(i);
            if (i % 1000 == 1) {
                EXPECT_EQ(pixel, (Rgb{255, 255, 255}));
                continue;
            }
            const double exposed = (i % 2 == 0 ? 3.0 : 5.0) * std::exp2(ev);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], SrgbLevel(Aces(exposed)), 1);
        }
    }
}

}  // namespace
}  // namespace zenivor::test
