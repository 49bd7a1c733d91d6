#pragma once
// The steps every decoder of this library shares: the checks on a size before it decodes a
// pixel, and the allocations whose failure is an error rather than an exception.

#include "imaging/ImageDecoder.h"
#include "imaging/RgbImage.h"
#include "util/Result.h"

namespace zenivor::formats {

// TooLarge when the image is over the limits of ImageFormats.h; the detail names its size.
Result<void> CheckDecodableSize(ImageSize size);
// UnexpectedSize when a non-zero field of expected differs from the (upright) size.
Result<void> CheckExpectedSize(ImageSize size, ImageSize expected);
// Both, in that order.
Result<void> CheckSize(ImageSize size, ImageSize expected);

// An image for the decoder to fill; OutOfMemory when there is no room for it.
Result<RgbImage> AllocateImage(ImageSize size);
// The decoded image turned upright by its Exif orientation; OutOfMemory as above.
Result<RgbImage> Upright(RgbImage stored, int exifOrientation);

}  // namespace zenivor::formats
