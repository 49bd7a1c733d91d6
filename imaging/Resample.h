#pragma once
// Resizing an image to another size, for strips that are not of the program's own sizes.

#include "imaging/RgbImage.h"

namespace zenivor {

// The image at width x height. Along an axis that shrinks, each output pixel is the exact mean
// of the input area it covers (so nothing aliases); along one that grows, pixels are
// interpolated bilinearly between the nearest input centres (so nothing looks blocky).
RgbImage Resampled(const RgbImage& image, int width, int height);

}  // namespace zenivor
