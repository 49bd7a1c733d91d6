#pragma once
// The steps every decoder of this library shares: the allocations whose failure is an error
// rather than an exception (the checks on a size come from imaging/ImageDecoder.h).

#include "imaging/ImageDecoder.h"
#include "imaging/RgbImage.h"
#include "util/Result.h"

namespace zenivor::formats {

// An image for the decoder to fill; OutOfMemory when there is no room for it.
Result<RgbImage> AllocateImage(ImageSize size);
// The decoded image turned upright by its Exif orientation; OutOfMemory as above.
Result<RgbImage> Upright(RgbImage stored, int exifOrientation);

}  // namespace zenivor::formats
