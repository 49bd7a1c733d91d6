#include "imaging/LinearLight.h"

#include "imaging/ImageErrors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace zenivor {
namespace {

// SrgbByteOf's search: within each of kBins equal parts of 0 to 1 lies at most one of the
// thresholds between two bytes (the narrowest step, at black, is wider than a part), so a
// value's byte is the part's first byte or the one above.
constexpr int kBins = 4096;

struct EncodeTables {
    std::array<float, 255> threshold{};  // threshold[k]: where byte k + 1 begins
    std::array<std::uint8_t, kBins + 1> firstByte{};
};

const EncodeTables& Encoding() {
    static const EncodeTables tables = [] {
        EncodeTables t;
        for (int k = 0; k < 255; ++k) t.threshold[k] = static_cast<float>(SrgbToLinear((k + 0.5) / 255.0));
        int byte = 0;
        for (int bin = 0; bin <= kBins; ++bin) {
            const float start = static_cast<float>(bin) / kBins;
            while (byte < 255 && start >= t.threshold[byte]) ++byte;
            t.firstByte[bin] = static_cast<std::uint8_t>(byte);
        }
        return t;
    }();
    return tables;
}

const std::array<float, 256>& Decoding8() {
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int v = 0; v < 256; ++v) t[v] = static_cast<float>(SrgbToLinear(v / 255.0));
        return t;
    }();
    return table;
}

const std::vector<float>& Decoding16() {
    static const std::vector<float> table = [] {
        std::vector<float> t(65536);
        for (int v = 0; v < 65536; ++v) t[v] = static_cast<float>(SrgbToLinear(v / 65535.0));
        return t;
    }();
    return table;
}

}  // namespace

LinearImage LinearImage::Sized(int width, int height, Light light) {
    LinearImage image{width, height, light, {}};
    image.samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    return image;
}

double SrgbToLinear(double encoded) {
    return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double linear) {
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

float LinearOf8(std::uint8_t sample) { return Decoding8()[sample]; }
float LinearOf16(std::uint16_t sample) { return Decoding16()[sample]; }

std::uint8_t SrgbByteOf(float linear) {
    const EncodeTables& tables = Encoding();
    if (!(linear > 0)) return 0;  // NaN too
    if (linear >= 1) return 255;
    int byte = tables.firstByte[static_cast<int>(linear * kBins)];
    if (byte < 255 && linear >= tables.threshold[byte]) ++byte;
    return static_cast<std::uint8_t>(byte);
}

void LinearFromBytes(std::span<const std::uint8_t> bytes, std::span<float> samples) {
    const std::array<float, 256>& table = Decoding8();
    std::transform(bytes.begin(), bytes.end(), samples.begin(), [&table](std::uint8_t b) { return table[b]; });
}

void BytesFromLinear(std::span<const float> samples, std::span<std::uint8_t> bytes) {
    std::transform(samples.begin(), samples.end(), bytes.begin(), SrgbByteOf);
}

LinearImage LinearOf(const RgbImage& image) {
    LinearImage linear = LinearImage::Sized(image.width, image.height);
    LinearFromBytes(image.pixels, linear.samples);
    return linear;
}

RgbImage SrgbImageOf(const LinearImage& image) {
    RgbImage out = RgbImage::Unfilled(image.width, image.height);
    BytesFromLinear(image.samples, out.pixels);
    return out;
}

Result<void> HandOver(const RgbImage& image, RowSink& sink) {
    if (Result<void> started = sink.Start({{image.width, image.height}, Light::Display}); !started) return started;
    std::vector<float> band;
    try {
        band.resize(image.RowBytes() * static_cast<std::size_t>(std::min(kBandRows, image.height)));
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    for (int y = 0; y < image.height; y += kBandRows) {
        const int count = std::min(kBandRows, image.height - y);
        const std::size_t values = image.RowBytes() * static_cast<std::size_t>(count);
        LinearFromBytes({image.Row(y), values}, {band.data(), values});
        if (Result<void> taken = sink.Take({band.data(), values}, count); !taken) return taken;
    }
    return {};
}

Result<void> CountedRows::Start(const RowsFormat& format) {
    height_ = format.size.height, rows_ = 0, percent_ = -1;
    return inner_.Start(format);
}

Result<void> CountedRows::Take(std::span<const float> samples, int count) {
    if (Result<void> taken = inner_.Take(samples, count); !taken) return taken;
    rows_ += count;
    const int percent = height_ > 0 ? static_cast<int>(std::int64_t{rows_} * 100 / height_) : 100;
    if (percent != percent_) report_(context_, percent_ = percent);
    return {};
}

Result<void> BoxReducer::Start(const RowsFormat& format) {
    sourceWidth_ = format.size.width, sourceHeight_ = format.size.height;
    factor_ = wanted_.width > 0 ? std::max(1, sourceWidth_ / wanted_.width) : 1;
    rows_ = 0, pending_ = 0;
    try {
        image_ = LinearImage::Sized((sourceWidth_ + factor_ - 1) / factor_, (sourceHeight_ + factor_ - 1) / factor_,
                                    format.light);
        sum_.assign(image_.RowSamples(), 0.0F);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    image_.height = 0;  // grows as rows are emitted
    return {};
}

void BoxReducer::EmitRow() {
    float* out = image_.samples.data() + static_cast<std::size_t>(image_.height) * image_.RowSamples();
    const float scale = 1.0F / static_cast<float>(factor_ * pending_);
    const int whole = sourceWidth_ / factor_;  // columns of factor_ source columns each
    for (std::size_t i = 0; i < static_cast<std::size_t>(whole) * 3; ++i) out[i] = sum_[i] * scale;
    if (whole < image_.width) {
        const float last = 1.0F / static_cast<float>((sourceWidth_ - whole * factor_) * pending_);
        for (int c = 0; c < 3; ++c) out[whole * 3 + c] = sum_[static_cast<std::size_t>(whole) * 3 + c] * last;
    }
    ++image_.height;
    std::fill(sum_.begin(), sum_.end(), 0.0F);
    pending_ = 0;
}

Result<void> BoxReducer::Take(std::span<const float> samples, int count) {
    const std::size_t inRow = static_cast<std::size_t>(sourceWidth_) * 3;
    if (count < 0 || rows_ + count > sourceHeight_ || samples.size() < inRow * static_cast<std::size_t>(count))
        return Error{errc::TruncatedPixels};
    if (factor_ == 1) {  // reduced by the decoder already: kept as they come
        std::copy_n(samples.begin(), inRow * static_cast<std::size_t>(count), image_.Row(image_.height));
        image_.height += count, rows_ += count;
        return {};
    }
    for (int r = 0; r < count; ++r) {
        const float* row = samples.data() + static_cast<std::size_t>(r) * inRow;
        float* sum = sum_.data();
        for (int x = 0; x < sourceWidth_; x += factor_, sum += 3) {
            const float* p = row + static_cast<std::size_t>(x) * 3;
            const float* end = row + static_cast<std::size_t>(std::min(x + factor_, sourceWidth_)) * 3;
            float b = 0, g = 0, red = 0;
            for (; p < end; p += 3) b += p[0], g += p[1], red += p[2];
            sum[0] += b, sum[1] += g, sum[2] += red;
        }
        ++rows_;
        if (++pending_ == factor_ || rows_ == sourceHeight_) EmitRow();
    }
    return {};
}

Result<void> LinearCollector::Start(const RowsFormat& format) {
    try {
        image_ = LinearImage::Sized(format.size.width, format.size.height, format.light);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    rows_ = 0;
    return {};
}

Result<void> LinearCollector::Take(std::span<const float> samples, int count) {
    const std::size_t values = image_.RowSamples() * static_cast<std::size_t>(count);
    if (count < 0 || rows_ + count > image_.height || samples.size() < values) return Error{errc::TruncatedPixels};
    std::copy_n(samples.begin(), values, image_.Row(rows_));
    rows_ += count;
    return {};
}

}  // namespace zenivor
