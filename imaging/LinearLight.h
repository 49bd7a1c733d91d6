#pragma once
// The high-precision form of pixels: linear light, as floats. Resampling, projecting and tone
// mapping work here, where averaging two pixels averages the light they show; only the final
// step rounds to the 8-bit sRGB values of a face.
//
// How a decoder hands its pixels over (ImageDecoder::ReadRows): it tells a RowSink the size of
// the image and what its values mean (Start), then gives it the rows top to bottom in bands of
// any height (Take). A decoder that reads its format a band at a time never holds the whole
// image, and a sink that reduces as the rows arrive (a pyramid's base, a resampler) holds only
// what it makes: so a 16384 x 8192 16-bit PNG or float EXR is converted without ever being whole
// in memory.
//
// Samples are in the order blue, green, red (as RgbImage keeps its bytes), three floats a pixel:
// - display-referred sources (8- and 16-bit sRGB images, or what a colour profile turned into
//   sRGB) give the sRGB curve undone, 0 to 1;
// - scene-referred sources (Radiance HDR, OpenEXR) give radiance in the file's own units,
//   0 upward, which an exposure and a tone curve bring to the display (imaging/ToneMap.h).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/RgbImage.h"
#include "util/Result.h"

namespace zenivor {

// What a source's linear values mean.
enum class Light {
    Display,  // sRGB's display light, 0 to 1
    Scene,    // radiance, 0 upward, of any magnitude
};

struct RowsFormat {
    ImageSize size;  // of the rows handed over: upright, and reduced where the decoder reduced
    Light light = Light::Display;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // Once, before the first row.
    virtual Result<void> Start(const RowsFormat& format) = 0;
    // The next count rows below the last ones, width * 3 samples each.
    virtual Result<void> Take(std::span<const float> samples, int count) = 0;
};

// A whole image in linear light: width x height pixels of three floats, top row first.
struct LinearImage {
    int width = 0;
    int height = 0;
    Light light = Light::Display;
    // Blue, green, red; left uninitialised by Sized, for the maker to write whole.
    std::vector<float, UninitialisedAllocator<float>> samples;

    static LinearImage Sized(int width, int height, Light light = Light::Display);
    std::size_t RowSamples() const { return static_cast<std::size_t>(width) * 3; }
    float* Row(int y) { return samples.data() + static_cast<std::size_t>(y) * RowSamples(); }
    const float* Row(int y) const { return samples.data() + static_cast<std::size_t>(y) * RowSamples(); }
};

// The sRGB curve undone (IEC 61966-2-1), for a value of 0 to 1.
double SrgbToLinear(double encoded);
// The sRGB curve, for linear light of 0 to 1.
double LinearToSrgb(double linear);
// An 8-bit or 16-bit sRGB sample as linear light, from tables made once.
float LinearOf8(std::uint8_t sample);
float LinearOf16(std::uint16_t sample);
// Linear light as the nearest 8-bit sRGB value, correctly rounded: 0.5 and above of a step goes
// up, as the exact curve would say. Below 0 gives 0, above 1 gives 255. LinearOf8 and this are
// exact inverses, so a byte that goes through linear light and back is unchanged.
std::uint8_t SrgbByteOf(float linear);

// Rows of 8-bit pixels (blue, green, red) as linear light, and back.
void LinearFromBytes(std::span<const std::uint8_t> bytes, std::span<float> samples);
void BytesFromLinear(std::span<const float> samples, std::span<std::uint8_t> bytes);

// The image as display light, and display light as an 8-bit image.
LinearImage LinearOf(const RgbImage& image);
RgbImage SrgbImageOf(const LinearImage& image);

// How many rows a decoder hands over at a time when it may choose: a few hundred kilobytes of
// floats for the widest images.
inline constexpr int kBandRows = 16;

// Hands an 8-bit image to a sink as display light, in bands.
Result<void> HandOver(const RgbImage& image, RowSink& sink);

// Passes rows on to another sink, telling how many of the image's rows have come, in percent,
// each time that grows.
class CountedRows final : public RowSink {
public:
    using Report = void (*)(void* context, int percent);
    CountedRows(RowSink& inner, Report report, void* context) : inner_(inner), report_(report), context_(context) {}
    Result<void> Start(const RowsFormat& format) override;
    Result<void> Take(std::span<const float> samples, int count) override;

private:
    RowSink& inner_;
    Report report_;
    void* context_;
    int height_ = 0;
    int rows_ = 0;
    int percent_ = -1;
};

// Keeps the rows shrunk to about a wanted size: each pixel the mean of the factor x factor
// pixels it covers (a last column or row of fewer, a mean of what there is), the factor being
// how many times the rows handed over are larger than wanted (1 where a decoder reduced them to
// that size already). So a panorama is held at the size its faces can use, never whole.
class BoxReducer final : public RowSink {
public:
    explicit BoxReducer(ImageSize wanted) : wanted_(wanted) {}
    Result<void> Start(const RowsFormat& format) override;
    Result<void> Take(std::span<const float> samples, int count) override;
    LinearImage& Image() { return image_; }
    bool Complete() const { return rows_ == sourceHeight_; }

private:
    void EmitRow();

    ImageSize wanted_;
    int factor_ = 1;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int rows_ = 0;
    int pending_ = 0;         // source rows added into sum_ so far
    std::vector<float> sum_;  // one output row's sums
    LinearImage image_;
};

// A sink that keeps every row: the whole image, for the steps that need it.
class LinearCollector final : public RowSink {
public:
    Result<void> Start(const RowsFormat& format) override;
    Result<void> Take(std::span<const float> samples, int count) override;
    // The image, once every row has been taken.
    LinearImage& Image() { return image_; }
    bool Complete() const { return rows_ == image_.height; }

private:
    LinearImage image_;
    int rows_ = 0;
};

}  // namespace zenivor
