// JPEG decoding: every colour layout close to its source, damaged data refused in libjpeg's
// words instead of filled in with grey, and the size checks made before decoding.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formats/ImageFormats.h"
#include "tests/FormatsTestFiles.h"

namespace zenivor::test {
namespace {

Result<RgbImage> ReadJpeg(const Bytes& file, ImageSize expected = {}) {
    MemorySource source(file);
    return JpegDecoder().Read(source, expected);
}

// Ink as the file holds it for each kind: Adobe's files store each ink inverted.
struct Inks {
    std::uint8_t c, m, y, k;
};

Inks InksAt(int x, int y) {
    return {static_cast<std::uint8_t>(x * 6), static_cast<std::uint8_t>(y * 7), 60,
            static_cast<std::uint8_t>(20 + (x + y) * 2)};
}

std::uint8_t Light(std::uint8_t ink, std::uint8_t black) {
    return static_cast<std::uint8_t>(std::lround((255 - ink) * (255 - black) / 255.0));
}

// The file's samples for a kind and the RGB they stand for.
void MakeSource(JpegKind kind, int width, int height, JpegPicture& picture, RgbImage& expected) {
    picture = NewJpeg(width, height, kind);
    expected = SlopeImage(width, height);
    const bool ink = kind == JpegKind::AdobeCmyk || kind == JpegKind::AdobeYcck || kind == JpegKind::PlainCmyk;
    const bool inverted = kind == JpegKind::AdobeCmyk || kind == JpegKind::AdobeYcck;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb rgb = expected.At(x, y);
            if (kind == JpegKind::Grey) picture.samples.push_back(rgb[0]), expected.Set(x, y, {rgb[0], rgb[0], rgb[0]});
            if (kind == JpegKind::YCbCr || kind == JpegKind::Rgb)
                picture.samples.insert(picture.samples.end(), rgb.begin(), rgb.end());
            if (!ink) continue;
            const Inks i = InksAt(x, y);
            for (const std::uint8_t value : {i.c, i.m, i.y, i.k})
                picture.samples.push_back(inverted ? static_cast<std::uint8_t>(255 - value) : value);
            expected.Set(x, y, {Light(i.c, i.k), Light(i.m, i.k), Light(i.y, i.k)});
        }
}

struct JpegCase {
    const char* name;
    JpegKind kind;
    bool progressive;
    int tolerance;
};

// At quality 100 every quantisation step is 1, so what is left is rounding: of the integer DCT,
// and of 8-bit colour conversion, which YCbCr's blue and red channels amplify (a half level
// of Cb is about one level of blue) to 3 levels. Without a colour conversion (RGB stored, grey,
// CMYK) a level at most; YCCK converts its three inks as YCbCr does, which rounds to 2.
const JpegCase kJpegCases[] = {
    {"YCbCr", JpegKind::YCbCr, false, 3},
    {"YCbCrProgressive", JpegKind::YCbCr, true, 3},
    {"RgbStored", JpegKind::Rgb, false, 1},
    {"Grey", JpegKind::Grey, false, 1},
    {"GreyProgressive", JpegKind::Grey, true, 1},
    {"AdobeCmyk", JpegKind::AdobeCmyk, false, 1},
    {"AdobeYcck", JpegKind::AdobeYcck, false, 2},
    {"PlainCmyk", JpegKind::PlainCmyk, false, 1},
    {"AdobeCmykProgressive", JpegKind::AdobeCmyk, true, 1},
};

class JpegLayouts : public testing::TestWithParam<JpegCase> {};

TEST_P(JpegLayouts, DecodeCloseToTheSource) {
    JpegPicture picture;
    RgbImage expected;
    MakeSource(GetParam().kind, 37, 29, picture, expected);  // partial blocks at the right and bottom
    picture.progressive = GetParam().progressive;
    const Result<RgbImage> image = ReadJpeg(EncodeJpeg(picture));
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    EXPECT_LE(MaxDifference(*image, expected), GetParam().tolerance);
}

INSTANTIATE_TEST_SUITE_P(FormatsJpeg, JpegLayouts, testing::ValuesIn(kJpegCases),
                         [](const auto& info) { return std::string(info.param.name); });

Bytes SampleJpeg() { return EncodeRgbJpeg(SlopeImage(32, 24)); }

TEST(FormatsJpeg, TruncatedFilesAreRefused) {
    for (const bool progressive : {false, true}) {
        const Bytes whole = EncodeRgbJpeg(SlopeImage(32, 24), {}, progressive);
        ASSERT_TRUE(ReadJpeg(whole));
        const std::size_t scan = ScanDataStart(whole);
        for (const std::size_t cut : {std::size_t{0}, std::size_t{2}, std::size_t{3}, std::size_t{30}, scan,
                                      (scan + whole.size()) / 2, whole.size() - 2, whole.size() - 1}) {
            SCOPED_TRACE(std::to_string(cut) + (progressive ? " progressive" : ""));
            ExpectRefused(ReadJpeg(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut))),
                          errc::BadJpeg);
        }
    }
}

struct JpegDamage {
    const char* name;
    void (*apply)(Bytes& jpeg);
};

// Ones throughout are no Huffman code of libjpeg's tables: FF 00 is a stuffed FF.
void OnesInTheScan(Bytes& jpeg) {
    const std::size_t from = ScanDataStart(jpeg), to = jpeg.size() - 2;
    for (std::size_t at = from + (to - from) / 3; at + 1 < from + 2 * (to - from) / 3; at += 2)
        jpeg[at] = 0xFF, jpeg[at + 1] = 0x00;
}

void MarkerInTheScan(Bytes& jpeg) {
    const std::size_t middle = (ScanDataStart(jpeg) + jpeg.size()) / 2;
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(middle), {0xFF, 0xD3});
}

const JpegDamage kJpegDamage[] = {
    {"ones in the entropy-coded data", OnesInTheScan},
    {"a marker in the entropy-coded data", MarkerInTheScan},
    {"12-bit samples", [](Bytes& jpeg) { jpeg[FindJpegMarker(jpeg, 0xC0) + 4] = 12; }},
    {"no components", [](Bytes& jpeg) { jpeg[FindJpegMarker(jpeg, 0xC0) + 9] = 0; }},
    {"zero height", [](Bytes& jpeg) { SetJpegSize(jpeg, 32, 0); }},
    {"Huffman table overfull",
     [](Bytes& jpeg) {
         for (int i = 0; i < 16; ++i) jpeg[FindJpegMarker(jpeg, 0xC4) + 5 + i] = 0xFF;
     }},
    {"quantisation table 5", [](Bytes& jpeg) { jpeg[FindJpegMarker(jpeg, 0xDB) + 4] = 5; }},
};

TEST(FormatsJpeg, DamagedFilesAreRefusedInLibjpegsWords) {
    for (const JpegDamage& damage : kJpegDamage) {
        SCOPED_TRACE(damage.name);
        Bytes file = SampleJpeg();
        damage.apply(file);
        ExpectRefused(ReadJpeg(file), errc::BadJpeg);
    }
}

// One coefficient a scan, each refined bit by bit: 631 scans, all of them consistent.
std::vector<JpegScan> ManyScans() {
    std::vector<JpegScan> scans = {{0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({k, k, 0, 9});
        for (int bit = 8; bit >= 0; --bit) scans.push_back({k, k, bit + 1, bit});
    }
    return scans;
}

TEST(FormatsJpeg, FilesOfHundredsOfScansAreRefused) {
    JpegPicture picture;
    RgbImage expected;
    MakeSource(JpegKind::Grey, 16, 16, picture, expected);
    picture.progressive = true;
    picture.scans = ManyScans();
    const Result<RgbImage> image = ReadJpeg(EncodeJpeg(picture));
    ASSERT_FALSE(image);
    EXPECT_EQ(image.Error().code, errc::BadJpeg);
    EXPECT_EQ(image.Error().detail, "more than 500 scans");
}

TEST(FormatsJpeg, OnlyTheExpectedSizeIsDecoded) {
    const struct {
        ImageSize expected;
        bool accepted;
    } rows[] = {{{0, 0}, true},   {{32, 0}, true},  {{0, 24}, true},  {{32, 24}, true},
                {{33, 0}, false}, {{0, 23}, false}, {{24, 32}, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.expected.width) + " x " + std::to_string(row.expected.height));
        const Result<RgbImage> image = ReadJpeg(SampleJpeg(), row.expected);
        ASSERT_EQ(static_cast<bool>(image), row.accepted);
        if (!row.accepted) {
            EXPECT_EQ(image.Error().code, errc::UnexpectedSize);
        }
        if (!row.accepted) {
            EXPECT_EQ(image.Error().detail, "32 x 24 pixels");
        }
    }
}

TEST(FormatsJpeg, TheSizeIsCheckedBeforeAnyPixelIsDecoded) {
    Bytes file = SampleJpeg();
    OnesInTheScan(file);
    const Result<RgbImage> image = ReadJpeg(file, {33, 24});
    ASSERT_FALSE(image);
    EXPECT_EQ(image.Error().code, errc::UnexpectedSize);
}

}  // namespace
}  // namespace zenivor::test

namespace zenivor::test {
namespace {

// A smooth picture, so that a reduced decode can be held against the mean of the whole one.
RgbImage SmoothPicture(int width, int height) {
    RgbImage image = RgbImage::Unfilled(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Set(x, y, {static_cast<std::uint8_t>(x * 3), static_cast<std::uint8_t>(y * 4), 90});
    return image;
}

TEST(FormatsJpeg, ReducedReadsShrinkByPowersOfTwoUpToTheLargestAllowed) {
    const Bytes jpeg = EncodeRgbJpeg(SmoothPicture(65, 48));
    const Result<RgbImage> whole = ReadJpeg(jpeg);
    ASSERT_TRUE(whole);
    const struct {
        int largest;
        int width, height;
    } rows[] = {{1, 65, 48}, {2, 33, 24}, {3, 33, 24}, {4, 17, 12}, {8, 9, 6}, {64, 9, 6}};
    for (const auto& row : rows) {
        MemorySource source(jpeg);
        const Result<RgbImage> reduced = JpegDecoder().ReadReduced(source, {65, 48}, row.largest);
        ASSERT_TRUE(reduced) << row.largest;
        EXPECT_EQ(reduced->width, row.width) << row.largest;
        EXPECT_EQ(reduced->height, row.height) << row.largest;
    }
    // Half size: each pixel close to the mean of the 2 x 2 it stands for.
    MemorySource source(jpeg);
    const Result<RgbImage> half = JpegDecoder().ReadReduced(source, {65, 48}, 2);
    ASSERT_TRUE(half);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c) {
                const int mean = (whole->At(2 * x, 2 * y)[c] + whole->At(2 * x + 1, 2 * y)[c] +
                                  whole->At(2 * x, 2 * y + 1)[c] + whole->At(2 * x + 1, 2 * y + 1)[c] + 2) /
                                 4;
                EXPECT_NEAR(half->At(x, y)[c], mean, 4) << x << "," << y;
            }
    MemorySource wrong(jpeg);
    EXPECT_FALSE(JpegDecoder().ReadReduced(wrong, {64, 48}, 2)) << "the whole size is still checked";
}

}  // namespace
}  // namespace zenivor::test
