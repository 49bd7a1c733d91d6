#include "formats/DecodeSupport.h"

#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "formats/ImageFormats.h"
#include "formats/Orientation.h"

namespace zenivor::formats {
namespace {

std::string SizeText(ImageSize size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height) + " pixels";
}

}  // namespace

Result<void> CheckDecodableSize(ImageSize size) {
    const auto pixels = static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height);
    if (size.width > kMaxImageSide || size.height > kMaxImageSide || pixels > kMaxImagePixels)
        return Error{errc::TooLarge, 0, SizeText(size)};
    return {};
}

Result<void> CheckExpectedSize(ImageSize size, ImageSize expected) {
    const bool widthDiffers = expected.width != 0 && expected.width != size.width;
    const bool heightDiffers = expected.height != 0 && expected.height != size.height;
    if (widthDiffers || heightDiffers) return Error{errc::UnexpectedSize, 0, SizeText(size)};
    return {};
}

Result<void> CheckSize(ImageSize size, ImageSize expected) {
    if (Result<void> decodable = CheckDecodableSize(size); !decodable) return decodable;
    return CheckExpectedSize(size, expected);
}

Result<RgbImage> AllocateImage(ImageSize size) {
    try {
        return RgbImage::Unfilled(size.width, size.height);
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

}  // namespace zenivor::formats
