// Resampling strips of other sizes: exact area means when shrinking, straight lines when growing.

#include <gtest/gtest.h>

#include <random>

#include "imaging/Resample.h"

namespace zenivor::test {
namespace {

RgbImage RandomImage(int width, int height, unsigned seed) {
    std::mt19937 random(seed);
    RgbImage image = RgbImage::Unfilled(width, height);
    for (auto& byte : image.pixels) byte = static_cast<std::uint8_t>(random() & 0xFF);
    return image;
}

// The mean of the input area output pixel (x, y) covers, counted exactly: each input pixel is
// cut into outWidth x outHeight cells, and the output pixel covers inWidth x inHeight of them.
double ExactAreaMean(const RgbImage& in, int outWidth, int outHeight, int x, int y, int channel) {
    std::int64_t sum = 0;
    for (int cy = y * in.height; cy < (y + 1) * in.height; ++cy)
        for (int cx = x * in.width; cx < (x + 1) * in.width; ++cx) sum += in.At(cx / outWidth, cy / outHeight)[channel];
    return static_cast<double>(sum) / (static_cast<std::int64_t>(in.width) * in.height);
}

TEST(Resample, ShrinkingGivesTheExactMeanOfEachCoveredArea) {
    const struct {
        int inWidth, inHeight, outWidth, outHeight;
    } rows[] = {{7, 3, 3, 2}, {10, 5, 4, 5}, {9, 9, 2, 2}, {1000, 250, 504, 126}, {13, 11, 13, 4}, {8, 2, 2, 1}};
    unsigned seed = 1;
    for (const auto& row : rows) {
        const RgbImage in = RandomImage(row.inWidth, row.inHeight, seed++);
        const RgbImage out = Resampled(in, row.outWidth, row.outHeight);
        ASSERT_EQ(out.width, row.outWidth);
        ASSERT_EQ(out.height, row.outHeight);
        // Every pixel of small images; a sample of the large one.
        const int step = row.inWidth > 100 ? 97 : 1;
        for (int y = 0; y < out.height; y += (step > 1 ? 31 : 1))
            for (int x = 0; x < out.width; x += step)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(out.At(x, y)[c], ExactAreaMean(in, out.width, out.height, x, y, c), 0.5 + 1e-3)
                        << row.inWidth << "x" << row.inHeight << " -> " << row.outWidth << "x" << row.outHeight
                        << " at " << x << "," << y;
    }
}

TEST(Resample, GrowingFollowsTheLineBetweenPixelCentres) {
    // Three pixels of a ramp grown to twelve: the centres of the input lie at output 1.5, 5.5
    // and 9.5; between them values follow the line, beyond them the edge pixel holds.
    RgbImage ramp = RgbImage::Unfilled(3, 1);
    for (int x = 0; x < 3; ++x) ramp.Set(x, 0, {static_cast<std::uint8_t>(100 * x), 7, 200});
    const RgbImage grown = Resampled(ramp, 12, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 12; ++x) {
            const double position = std::clamp((x + 0.5) / 4 - 0.5, 0.0, 2.0);
            EXPECT_NEAR(grown.At(x, y)[0], 100 * position, 0.5 + 1e-3) << x;
            EXPECT_EQ(grown.At(x, y)[1], 7);
            EXPECT_EQ(grown.At(x, y)[2], 200);
        }
}

TEST(Resample, PixelDoubledImagesShrinkBackExactly) {
    const RgbImage small = RandomImage(21, 6, 9);
    RgbImage doubled = RgbImage::Unfilled(42, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 42; ++x) doubled.Set(x, y, small.At(x / 2, y / 2));
    EXPECT_EQ(Resampled(doubled, 21, 6), small);
    EXPECT_EQ(Resampled(small, 21, 6), small);
}

}  // namespace
}  // namespace zenivor::test
