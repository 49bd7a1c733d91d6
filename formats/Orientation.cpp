#include "formats/Orientation.h"

#include <utility>

#include "imaging/Symmetry.h"

namespace zenivor {

bool SwapsSides(int exifOrientation) { return Symmetry::FromExif(exifOrientation).SwapsSides(); }

ImageSize OrientedSize(ImageSize stored, int exifOrientation) {
    return Symmetry::FromExif(exifOrientation).ResultSize(stored);
}

RgbImage Oriented(RgbImage stored, int exifOrientation) {
    const Symmetry symmetry = Symmetry::FromExif(exifOrientation);
    if (symmetry == Symmetry::Identity()) return stored;
    return Transformed(stored, symmetry);
}

}  // namespace zenivor
