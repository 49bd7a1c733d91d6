// Work bounded by what an image of the file's size needs, against files crafted here: a PNG whose
// compressed rows run on far past its image, a progressive JPEG of hundreds of scans over many
// blocks, and one whose coefficients would take more memory than libjpeg is allowed.

#include <gtest/gtest.h>
#include <png.h>

#include <random>

#include "formats/ImageFormats.h"
#include "tests/FormatsTestFiles.h"

namespace zenivor::test {
namespace {

// A grey PNG of many rows of noise, its header then cut down to the first few: the data runs on
// for megabytes past the image's last row.
TEST(FormatsBudget, APngIsNotReadFarPastItsLastRow) {
    constexpr int kWidth = 64, kStoredRows = 60000, kImageRows = 16;
    PngPicture picture = NewPng(kWidth, kStoredRows, PNG_COLOR_TYPE_GRAY);
    std::mt19937 random(1);
    picture.samples.resize(static_cast<std::size_t>(kWidth) * kStoredRows);
    for (std::uint16_t& sample : picture.samples) sample = static_cast<std::uint16_t>(random() & 0xFF);
    Bytes file = EncodePng(picture);
    ASSERT_GT(file.size(), 3u << 20);
    SetPngSize(file, kWidth, kImageRows);
    CountingSource source(file);
    const Result<RgbImage> image = PngDecoder().Read(source, {});
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    for (int y = 0; y < kImageRows; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(image->At(x, y)[0], picture.samples[static_cast<std::size_t>(y) * kWidth + x]);
    // The rows, at most a megabyte of the chunks after them, and the reader's one chunk ahead.
    EXPECT_LE(source.furthestEnd, std::uint64_t{1 << 20} + 2 * kReadChunkBytes);
}

// One coefficient a scan, refined bit by bit: 442 scans of a grey image.
std::vector<JpegScan> RefinedScans() {
    std::vector<JpegScan> scans = {{0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({k, k, 0, 6});
        for (int bit = 5; bit >= 0; --bit) scans.push_back({k, k, bit + 1, bit});
    }
    return scans;
}

JpegPicture FlatGrey(int width, int height) {
    JpegPicture picture = NewJpeg(width, height, JpegKind::Grey);
    picture.samples.assign(static_cast<std::size_t>(width) * height, 90);
    picture.quality = 90;
    picture.progressive = true;
    return picture;
}

// 2560 x 2560 has 102,400 blocks: its 442 scans are 45 million block passes, past the budget,
// which the same image in libjpeg's own progressive script (6 scans) stays far within.
TEST(FormatsBudget, AProgressiveJpegOfTooManyScansForItsBlocksIsRefused) {
    JpegPicture picture = FlatGrey(2560, 2560);
    picture.scans = RefinedScans();
    const Bytes crafted = EncodeJpeg(picture);
    ASSERT_LT(crafted.size(), 2u << 20);
    MemorySource source(crafted);
    const Result<RgbImage> refused = JpegDecoder().Read(source, {});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().code, errc::OverBudget);
    EXPECT_NE(refused.Error().detail.find("scans, more than an image of this size needs"), std::string::npos)
        << refused.Error().detail;

    picture.scans.clear();
    const Bytes plain = EncodeJpeg(picture);
    MemorySource plainSource(plain);
    EXPECT_TRUE(JpegDecoder().Read(plainSource, {}));
}

// A small progressive file whose frame header declares 12000 x 12000: its coefficients would
// take 288 MB, which libjpeg may not have.
TEST(FormatsBudget, AProgressiveJpegNeedingMoreThanLibjpegsMemoryIsRefused) {
    Bytes file = EncodeJpeg(FlatGrey(16, 16));
    SetJpegSize(file, 12000, 12000);
    file.resize(file.size() + (400u << 10), 0);  // as long as such an image's data could be
    MemorySource source(file);
    const Result<RgbImage> image = JpegDecoder().Read(source, {});
    ASSERT_FALSE(image);
    EXPECT_EQ(image.Error().code, errc::OverBudget);
    EXPECT_EQ(image.Error().detail, "libjpeg would need more than 256 MiB for the image");
}

}  // namespace
}  // namespace zenivor::test
