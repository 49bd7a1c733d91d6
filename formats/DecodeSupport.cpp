#include "formats/DecodeSupport.h"

#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "formats/Orientation.h"

namespace zenivor::formats {
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
