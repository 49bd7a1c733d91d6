#include "formats/DecodeSupport.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "formats/Orientation.h"
#include "imaging/ToneMap.h"

namespace zenivor::formats {
Result<RgbImage> AllocateImage(ImageSize size) {
    try {
        return RgbImage::Unfilled(size.width, size.height);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
}

Result<RgbImage> ImageFromRows(const ImageDecoder& decoder, ByteSource& source, ImageSize expected, int largestFactor) {
    LinearCollector collector;
    if (Result<void> read = decoder.ReadRows(source, expected, largestFactor, collector); !read) return read.Error();
    if (!collector.Complete()) return Error{errc::TruncatedPixels};
    try {
        return DisplayImageOf(std::move(collector.Image()), {});
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
}

Result<RgbImage> Upright(RgbImage stored, int exifOrientation) {
    try {
        return Oriented(std::move(stored), exifOrientation);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
}

Result<LinearImage> Transformed(const LinearImage& image, Symmetry symmetry) {
    const ImageSize source{image.width, image.height};
    const ImageSize size = symmetry.ResultSize(source);
    LinearImage out;
    try {
        out = LinearImage::Sized(size.width, size.height, image.light);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    for (int y = 0; y < size.height; ++y) {
        float* target = out.Row(y);
        for (int x = 0; x < size.width; ++x, target += 3) {
            const Point from = symmetry.Source({x, y}, source);
            std::copy_n(image.Row(from.y) + static_cast<std::size_t>(from.x) * 3, 3, target);
        }
    }
    return out;
}

}  // namespace zenivor::formats
