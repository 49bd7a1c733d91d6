#include "formats/Orientation.h"

#include <cstring>
#include <utility>

namespace zenivor {
namespace {

struct Point {
    int x;
    int y;
};

// The stored pixel shown at upright (x, y), for a stored image width x height. Exif names
// where the stored first row and first column appear: 2 has the first column on the right,
// 6 the first row on the right (a quarter turn clockwise shows it), and so on.
Point StoredPoint(int orientation, int x, int y, int width, int height) {
    switch (orientation) {
        case 2: return {width - 1 - x, y};
        case 3: return {width - 1 - x, height - 1 - y};
        case 4: return {x, height - 1 - y};
        case 5: return {y, x};
        case 6: return {y, height - 1 - x};
        case 7: return {width - 1 - y, height - 1 - x};
        case 8: return {width - 1 - y, x};
        default: return {x, y};
    }
}

}  // namespace

bool SwapsSides(int exifOrientation) { return exifOrientation >= 5 && exifOrientation <= 8; }

ImageSize OrientedSize(ImageSize stored, int exifOrientation) {
    if (SwapsSides(exifOrientation)) return {stored.height, stored.width};
    return stored;
}

RgbImage Oriented(RgbImage stored, int exifOrientation) {
    if (exifOrientation < 2 || exifOrientation > 8) return stored;
    const ImageSize size = OrientedSize({stored.width, stored.height}, exifOrientation);
    RgbImage upright = RgbImage::Unfilled(size.width, size.height);
    for (int y = 0; y < size.height; ++y) {
        std::uint8_t* out = upright.Row(y);
        for (int x = 0; x < size.width; ++x, out += 3) {
            const Point from = StoredPoint(exifOrientation, x, y, stored.width, stored.height);
            std::memcpy(out, stored.Row(from.y) + static_cast<std::size_t>(from.x) * 3, 3);
        }
    }
    return upright;
}

}  // namespace zenivor
