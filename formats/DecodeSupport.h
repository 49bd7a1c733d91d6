#pragma once
// The steps and limits every decoder of this library shares: the allocations whose failure is an
// error rather than an exception (the checks on a size come from imaging/ImageDecoder.h).

#include <cstdint>
#include <string>
#include <utility>

#include "formats/ImageFormats.h"
#include "imaging/ImageDecoder.h"
#include "imaging/LinearLight.h"
#include "imaging/RgbImage.h"
#include "imaging/Symmetry.h"
#include "util/Result.h"

namespace zenivor::formats {

// No band a decoder holds at once (a strip, a row of tiles, a chunk) is larger: a well-made file
// of the largest size has far smaller ones.
inline constexpr std::uint64_t kMaxBandBytes = std::uint64_t{256} << 20;

// A layout the file may validly have but this library does not read.
inline Error Unsupported(std::string detail) { return Error{errc::UnsupportedLayout, 0, std::move(detail)}; }

// An image for the decoder to fill; OutOfMemory when there is no room for it.
Result<RgbImage> AllocateImage(ImageSize size);
// The 8-bit image of a decoder's rows (ImageDecoder::ReadRows): collected whole, then encoded,
// scene light exposed and tone-mapped by the default mapping first.
Result<RgbImage> ImageFromRows(const ImageDecoder& decoder, ByteSource& source, ImageSize expected, int largestFactor);
// The decoded image turned upright by its Exif orientation; OutOfMemory as above.
Result<RgbImage> Upright(RgbImage stored, int exifOrientation);

// A linear image turned and mirrored; OutOfMemory as above.
Result<LinearImage> Transformed(const LinearImage& image, Symmetry symmetry);

}  // namespace zenivor::formats
