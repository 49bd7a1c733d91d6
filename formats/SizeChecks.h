#pragma once
// The checks every decoder of this library makes on a size before it decodes a pixel.

#include "imaging/ImageDecoder.h"
#include "util/Result.h"

namespace zenivor::formats {

// TooLarge when the image is over the limits of ImageFormats.h; the detail names its size.
Result<void> CheckDecodableSize(ImageSize size);
// UnexpectedSize when a non-zero field of expected differs from the (upright) size.
Result<void> CheckExpectedSize(ImageSize size, ImageSize expected);
// Both, in that order.
Result<void> CheckSize(ImageSize size, ImageSize expected);

}  // namespace zenivor::formats
