#pragma once
// Resizing an image to another size, for strips that are not of the program's own sizes.

#include <algorithm>
#include <cstdint>

#include "imaging/RgbImage.h"

namespace zenivor {

// A resampled value as a byte: to the nearest, within 0 to 255.
inline std::uint8_t Rounded(float value) { return static_cast<std::uint8_t>(std::clamp(value + 0.5F, 0.0F, 255.0F)); }

// The image at width x height. Along an axis that shrinks, each output pixel is the exact mean
// of the input area it covers (so nothing aliases); along one that grows, pixels are
// interpolated bilinearly between the nearest input centres (so nothing looks blocky).
RgbImage Resampled(const RgbImage& image, int width, int height);

}  // namespace zenivor
