#pragma once
// Turns and mirrors an image as an Exif orientation says, so it is returned upright. Exif names
// where the stored first row and first column appear: 2 has the first column on the right, 6 the
// first row on the right (a quarter turn clockwise shows it), and so on.

#include "imaging/ImageDecoder.h"
#include "imaging/RgbImage.h"

namespace zenivor {

// Whether the orientation (1 to 8) swaps width and height: 5 to 8 turn by a quarter.
bool SwapsSides(int exifOrientation);
// The upright size of a stored image of this size.
ImageSize OrientedSize(ImageSize stored, int exifOrientation);
// The stored image made upright. Orientation 1 and values outside 1 to 8 return it unchanged.
RgbImage Oriented(RgbImage stored, int exifOrientation);

}  // namespace zenivor
