#include "imaging/Resample.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "imaging/ImageErrors.h"

namespace zenivor {
namespace {

// The input pixels one output pixel is made of, and how much each counts (the weights add to 1).
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

// Output pixel i covers input [i * scale, (i + 1) * scale); each input pixel counts by the
// length it shares with that interval.
Taps AreaTaps(int i, double scale, int inputSize) {
    const double begin = i * scale;
    const double end = std::min(begin + scale, static_cast<double>(inputSize));
    Taps taps;
    taps.first = static_cast<int>(std::floor(begin));
    for (int source = taps.first; source < end && source < inputSize; ++source) {
        const double overlap = std::min<double>(end, source + 1) - std::max<double>(begin, source);
        taps.weights.push_back(static_cast<float>(overlap / scale));
    }
    return taps;
}

// Output pixel i's centre between the two nearest input centres; at the edges the outermost
// input pixel is taken alone.
Taps BilinearTaps(int i, double scale, int inputSize) {
    const double centre = std::clamp((i + 0.5) * scale - 0.5, 0.0, inputSize - 1.0);
    const int left = std::min(static_cast<int>(centre), inputSize - 1);
    const double fraction = centre - left;
    if (left + 1 >= inputSize) return {left, {1.0F}};
    return {left, {static_cast<float>(1.0 - fraction), static_cast<float>(fraction)}};
}

std::vector<Taps> AxisTaps(int inputSize, int outputSize) {
    const double scale = static_cast<double>(inputSize) / outputSize;
    std::vector<Taps> taps(static_cast<std::size_t>(outputSize));
    for (int i = 0; i < outputSize; ++i)
        taps[i] = inputSize > outputSize ? AreaTaps(i, scale, inputSize) : BilinearTaps(i, scale, inputSize);
    return taps;
}

// Rows of the image resized across: height x width x 3 values, not yet rounded.
std::vector<float> ResizedAcross(const RgbImage& image, const std::vector<Taps>& taps) {
    const std::size_t width = taps.size();
    std::vector<float> out(static_cast<std::size_t>(image.height) * width * 3);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.Row(y);
        float* target = out.data() + static_cast<std::size_t>(y) * width * 3;
        for (std::size_t x = 0; x < width; ++x) {
            float sum[3] = {0, 0, 0};
            const std::uint8_t* source = row + static_cast<std::size_t>(taps[x].first) * 3;
            for (const float weight : taps[x].weights) {
                for (int c = 0; c < 3; ++c) sum[c] += weight * source[c];
                source += 3;
            }
            std::copy(sum, sum + 3, target + x * 3);
        }
    }
    return out;
}

}  // namespace

RgbImage Resampled(const RgbImage& image, int width, int height) {
    if (image.width == width && image.height == height) return image;
    const std::vector<float> across = ResizedAcross(image, AxisTaps(image.width, width));
    const std::vector<Taps> down = AxisTaps(image.height, height);
    const std::size_t rowValues = static_cast<std::size_t>(width) * 3;
    RgbImage out = RgbImage::Unfilled(width, height);
    std::vector<float> sum(rowValues);
    for (int y = 0; y < height; ++y) {
        std::fill(sum.begin(), sum.end(), 0.0F);
        const float* source = across.data() + static_cast<std::size_t>(down[y].first) * rowValues;
        for (const float weight : down[y].weights) {
            for (std::size_t i = 0; i < rowValues; ++i) sum[i] += weight * source[i];
            source += rowValues;
        }
        std::transform(sum.begin(), sum.end(), out.Row(y), Rounded);
    }
    return out;
}

Result<void> LinearResampler::Start(const RowsFormat& format) {
    sourceWidth_ = format.size.width, sourceHeight_ = format.size.height;
    taken_ = 0, nextOutput_ = 0;
    try {
        across_.clear(), down_.clear();
        for (const auto& taps : AxisTaps(sourceWidth_, target_.width)) across_.push_back({taps.first, taps.weights});
        for (const auto& taps : AxisTaps(sourceHeight_, target_.height)) down_.push_back({taps.first, taps.weights});
        row_.assign(static_cast<std::size_t>(target_.width) * 3, 0.0F);
        out_ = LinearImage::Sized(target_.width, target_.height, format.light);
        std::fill(out_.samples.begin(), out_.samples.end(), 0.0F);  // the rows are sums
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    return {};
}

Result<void> LinearResampler::Take(std::span<const float> samples, int count) {
    const std::size_t inRow = static_cast<std::size_t>(sourceWidth_) * 3;
    if (count < 0 || taken_ + count > sourceHeight_ || samples.size() < inRow * static_cast<std::size_t>(count))
        return Error{errc::TruncatedPixels};
    for (int r = 0; r < count; ++r, ++taken_) {
        const float* source = samples.data() + static_cast<std::size_t>(r) * inRow;
        for (std::size_t x = 0; x < across_.size(); ++x) {
            float sum[3] = {0, 0, 0};
            const float* p = source + static_cast<std::size_t>(across_[x].first) * 3;
            for (const float weight : across_[x].weights) {
                for (int c = 0; c < 3; ++c) sum[c] += weight * p[c];
                p += 3;
            }
            std::copy(sum, sum + 3, row_.begin() + static_cast<std::ptrdiff_t>(x * 3));
        }
        // The output rows this source row counts for: their taps run in order down the source.
        while (nextOutput_ < down_.size() &&
               down_[nextOutput_].first + static_cast<int>(down_[nextOutput_].weights.size()) <= taken_)
            ++nextOutput_;
        for (std::size_t y = nextOutput_; y < down_.size() && down_[y].first <= taken_; ++y) {
            const float weight = down_[y].weights[static_cast<std::size_t>(taken_ - down_[y].first)];
            float* target = out_.Row(static_cast<int>(y));
            for (std::size_t i = 0; i < row_.size(); ++i) target[i] += weight * row_[i];
        }
    }
    return {};
}

LinearImage LinearResampled(const LinearImage& image, int width, int height) {
    LinearResampler resampler({width, height});
    if (!resampler.Start({{image.width, image.height}, image.light}) || !resampler.Take(image.samples, image.height))
        throw std::bad_alloc();
    return std::move(resampler.Image());
}

}  // namespace zenivor
