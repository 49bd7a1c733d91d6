// Linear light: the sRGB curve both ways with correct rounding, resampling as the eye mixes
// light (on rows as they arrive, as on a whole image), and the tone mapping of scene light
// against its documented formulas.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "imaging/LinearLight.h"
#include "imaging/Resample.h"
#include "imaging/ToneMap.h"
#include "tests/TestSupport.h"
#include "tests/ToneOracle.h"

namespace zenivor::test {
namespace {

// IEC 61966-2-1's decoding, written out here in double precision (the encoding is the oracle's).
double Decoded(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

TEST(LinearLight, EveryByteGoesThroughLinearLightAndBackUnchanged) {
    for (int v = 0; v < 256; ++v) {
        const auto byte = static_cast<std::uint8_t>(v);
        EXPECT_NEAR(LinearOf8(byte), Decoded(v / 255.0), 1e-7) << v;
        EXPECT_EQ(SrgbByteOf(LinearOf8(byte)), byte) << v;
        EXPECT_EQ(SrgbByteOf(LinearOf16(static_cast<std::uint16_t>(v * 257))), byte) << v;
    }
}

TEST(LinearLight, EncodingRoundsToTheNearestLevelOfTheExactCurve) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> light(0.0, 1.0);
    for (int i = 0; i < 200000; ++i) {
        const double linear = i < 1000 ? i / 1000.0 * 0.004 : light(random);  // the straight part near black too
        const double exact = SrgbEncoded(linear) * 255;
        if (std::abs(exact - std::floor(exact) - 0.5) < 1e-3) continue;  // too close to call in floats
        ASSERT_EQ(SrgbByteOf(static_cast<float>(linear)), static_cast<int>(std::floor(exact + 0.5))) << linear;
    }
    EXPECT_EQ(SrgbByteOf(-1.0F), 0);
    EXPECT_EQ(SrgbByteOf(7.0F), 255);
    EXPECT_EQ(SrgbByteOf(std::nanf("")), 0);
}

// Shrunk by an even factor, each output pixel covers as much black as white.
TEST(LinearResampling, BlackAndWhiteShrinkToTheGreyTheEyeSees) {
    const struct {
        const char* name;
        int width, height, outWidth, outHeight;
    } rows[] = {{"halved", 64, 16, 32, 8}, {"by four", 2016, 504, 504, 126}, {"by eight", 4032, 1008, 504, 126}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const RgbImage out =
            SrgbImageOf(LinearResampled(LinearOf(Checkerboard(row.width, row.height)), row.outWidth, row.outHeight));
        for (const std::uint8_t byte : out.pixels) {
            ASSERT_GE(byte, 186);
            ASSERT_LE(byte, 190);
        }
        // The same in sRGB values: the old, too dark grey.
        EXPECT_NEAR(Resampled(Checkerboard(row.width, row.height), row.outWidth, row.outHeight).At(1, 1)[0], 127.5, 1);
    }
}

TEST(LinearResampling, ConstantAndPixelDoubledImagesComeBackByteForByte) {
    std::mt19937 random(3);
    RgbImage small = RgbImage::Unfilled(21, 6);
    for (auto& byte : small.pixels) byte = static_cast<std::uint8_t>(random());
    RgbImage doubled = RgbImage::Unfilled(42, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 42; ++x) doubled.Set(x, y, small.At(x / 2, y / 2));
    EXPECT_EQ(SrgbImageOf(LinearResampled(LinearOf(doubled), 21, 6)), small);
    for (int v = 0; v < 256; v += 5) {
        const RgbImage constant = RgbImage::Filled(37, 11, {static_cast<std::uint8_t>(v), 3, 250});
        for (const ImageSize size : {ImageSize{12, 5}, ImageSize{100, 40}, ImageSize{37, 11}})
            EXPECT_EQ(SrgbImageOf(LinearResampled(LinearOf(constant), size.width, size.height)),
                      RgbImage::Filled(size.width, size.height, {static_cast<std::uint8_t>(v), 3, 250}))
                << v;
    }
}

// Fed in bands of any height, the rows add up to the same image as fed whole; and shrinking is
// the exact mean of the light each output pixel covers.
TEST(LinearResampling, RowsInBandsGiveTheExactAreaMeanOfTheLight) {
    std::mt19937 random(9);
    LinearImage in = LinearImage::Sized(13, 11);
    for (float& sample : in.samples) sample = static_cast<float>(random() % 1000) / 999.0F;
    const LinearImage whole = LinearResampled(in, 5, 4);
    for (const int band : {1, 3, 11}) {
        LinearResampler resampler({5, 4});
        ASSERT_TRUE(resampler.Start({{13, 11}, Light::Display}));
        for (int y = 0; y < 11; y += band) {
            const int rows = std::min(band, 11 - y);
            ASSERT_TRUE(resampler.Take({in.Row(y), in.RowSamples() * rows}, rows));
        }
        ASSERT_TRUE(resampler.Complete());
        EXPECT_EQ(resampler.Image().samples, whole.samples) << band;
    }
    // Each input pixel cut into 5 x 4 cells; output pixel (x, y) covers 13 x 11 of them.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int cy = y * 11; cy < (y + 1) * 11; ++cy)
                    for (int cx = x * 13; cx < (x + 1) * 13; ++cx) sum += in.Row(cy / 4)[(cx / 5) * 3 + c];
                EXPECT_NEAR(whole.Row(y)[x * 3 + c], sum / (13 * 11), 1e-5);
            }
}

// Narkowicz's ACES fit (the shared oracle) and Reinhard's operator as their papers give them.

TEST(ToneMapping, CurvesFollowTheirDocumentedFormulas) {
    for (const double x : {0.0, 0.01, 0.18, 0.5, 1.0, 4.0, 100.0}) {
        EXPECT_NEAR(FilmicCurve(x), Aces(x), 1e-12) << x;
        EXPECT_NEAR(ReinhardCurve(x), x / (1 + x), 1e-12) << x;
    }
    const struct {
        const char* name;
        ToneCurve curve;
        double ev;
        float in[3];  // blue, green, red
        float out[3];
    } rows[] = {
        {"filmic, grey, two stops up", ToneCurve::Filmic, 2, {0.05F, 0.05F, 0.05F}, {0, 0, 0}},
        {"clip cuts each channel", ToneCurve::Clip, 0, {0.2F, 3.0F, 0.5F}, {0.2F, 1, 0.5F}},
        {"reinhard keeps a dark colour's hue", ToneCurve::Reinhard, 0, {0.02F, 0.04F, 0.08F}, {0, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        float samples[3] = {row.in[0], row.in[1], row.in[2]};
        ToneMapSamples(samples, row.ev, row.curve);
        float want[3] = {row.out[0], row.out[1], row.out[2]};
        if (row.curve == ToneCurve::Filmic)
            for (int c = 0; c < 3; ++c) want[c] = static_cast<float>(Aces(row.in[c] * std::exp2(row.ev)));
        if (row.curve == ToneCurve::Reinhard) {
            const double l = 0.0722 * row.in[0] + 0.7152 * row.in[1] + 0.2126 * row.in[2];
            for (int c = 0; c < 3; ++c) want[c] = static_cast<float>(row.in[c] / (1 + l));
        }
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(samples[c], want[c], 1e-6) << c;
    }
}

// The sun, far brighter than any display, comes out white under every curve that shapes it:
// no channel is left behind to tint its edge.
TEST(ToneMapping, TheSunClipsToWhiteWithoutColouredFringes) {
    for (const ToneCurve curve : {ToneCurve::Filmic, ToneCurve::Reinhard}) {
        float sun[3] = {4000.0F, 9000.0F, 12000.0F};  // a warm sun
        ToneMapSamples(sun, 0, curve);
        for (const float channel : sun) EXPECT_EQ(SrgbByteOf(channel), 255);
        // Less bright, a colour keeps its hue order and no channel passes 1.
        float lamp[3] = {0.5F, 2.0F, 6.0F};
        ToneMapSamples(lamp, 0, curve);
        EXPECT_LT(lamp[0], lamp[1]);
        EXPECT_LE(lamp[1], lamp[2]);
        EXPECT_LE(lamp[2], 1.0F);
    }
}

TEST(ToneMapping, TheAutomaticExposureBringsTheMedianToMiddleGrey) {
    const struct {
        const char* name;
        std::vector<float> luminances;  // of grey pixels
        double median;                  // 0: all black
    } rows[] = {
        {"one level", std::vector<float>(100, 2.0F), 2.0},
        {"the brightest 0.1 % left out",
         [] {
             std::vector<float> l(2000, 0.5F);
             l[7] = l[8] = 1e6F;  // two of 2000 are the sun
             for (int i = 0; i < 998; ++i) l[100 + i] = 0.25F;
             return l;
         }(),
         0.5},
        {"mostly black", {0, 0, 0, 1}, 0},
        // A decoder's largest values sum past a float's range: the brightest, not an error.
        {"light beyond a float's range", {1, 1, 1, 3e38F, std::numeric_limits<float>::infinity()}, 1.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ExposureMeter meter;
        for (const float l : row.luminances) {
            const float grey[3] = {l, l, l};
            meter.Add(grey);
        }
        const double want = row.median > 0 ? std::log2(0.18 / row.median) : 0;
        EXPECT_NEAR(meter.AutomaticEv(), want, 1.0 / 256);
    }
    EXPECT_EQ(ExposureText(-3.4567, true), "Exposure -3.46 EV (automatic)");
    EXPECT_EQ(ExposureText(1, false), "Exposure +1.00 EV");
}

}  // namespace
}  // namespace zenivor::test
