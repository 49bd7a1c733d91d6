#pragma once
// Resizing an image to another size, for strips that are not of the program's own sizes.

#include <algorithm>
#include <cstdint>

#include "imaging/LinearLight.h"
#include "imaging/RgbImage.h"

namespace zenivor {

// A resampled value as a byte: to the nearest, within 0 to 255.
inline std::uint8_t Rounded(float value) { return static_cast<std::uint8_t>(std::clamp(value + 0.5F, 0.0F, 255.0F)); }

// The image at width x height. Along an axis that shrinks, each output pixel is the exact mean
// of the input area it covers (so nothing aliases); along one that grows, pixels are
// interpolated bilinearly between the nearest input centres (so nothing looks blocky).
// This averages the bytes as they are, sRGB-encoded values: how releases before 1.1 resampled,
// kept for --linear off. A mean of black and white comes out 128, darker than the eye sees it.
RgbImage Resampled(const RgbImage& image, int width, int height);

// The same resampling in linear light, done on rows as a decoder hands them over: each row is
// resized across as it arrives and added into the output rows it counts for, so that only the
// output and one row are held, however large the source. A mean of black and white comes out
// 188 once encoded, as the eye sees it.
class LinearResampler final : public RowSink {
public:
    explicit LinearResampler(ImageSize target) : target_(target) {}
    Result<void> Start(const RowsFormat& format) override;
    Result<void> Take(std::span<const float> samples, int count) override;
    // The resampled image, once every row has been taken.
    LinearImage& Image() { return out_; }
    bool Complete() const { return taken_ == sourceHeight_; }

private:
    struct Taps {
        int first = 0;
        std::vector<float> weights;
    };
    ImageSize target_;
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
    int taken_ = 0;
    std::vector<Taps> across_;
    std::vector<Taps> down_;
    std::size_t nextOutput_ = 0;  // the first output row a source row may still count for
    std::vector<float> row_;      // a source row resized across
    LinearImage out_;
};

// An image in linear light resampled whole, as LinearResampler does it.
LinearImage LinearResampled(const LinearImage& image, int width, int height);

}  // namespace zenivor
