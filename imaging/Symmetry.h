#pragma once
// The eight ways of turning and mirroring an image: the symmetries of a rectangle. Each says,
// for every pixel (x, y) of the result, which pixel of the source it shows:
// (a x + b y, c x + d y), shifted back into the source where a coefficient is negative.
// Turns are as the image looks when shown.

#include "imaging/RgbImage.h"

namespace zenivor {

struct Symmetry {
    int a = 1, b = 0, c = 0, d = 1;

    static constexpr Symmetry Identity() { return {}; }
    static constexpr Symmetry MirrorLeftRight() { return {-1, 0, 0, 1}; }
    static constexpr Symmetry MirrorTopBottom() { return {1, 0, 0, -1}; }
    static constexpr Symmetry TurnClockwise() { return {0, 1, -1, 0}; }
    static constexpr Symmetry TurnHalf() { return {-1, 0, 0, -1}; }
    static constexpr Symmetry TurnCounterClockwise() { return {0, -1, 1, 0}; }
    // The Exif orientation (1 to 8) that names how a stored image is turned against the
    // upright picture, as the map from upright to stored; the identity for any other value.
    static constexpr Symmetry FromExif(int orientation) {
        constexpr Symmetry kByOrientation[] = {{1, 0, 0, 1}, {-1, 0, 0, 1}, {-1, 0, 0, -1}, {1, 0, 0, -1},
                                               {0, 1, 1, 0}, {0, 1, -1, 0}, {0, -1, -1, 0}, {0, -1, 1, 0}};
        return orientation >= 1 && orientation <= 8 ? kByOrientation[orientation - 1] : Identity();
    }

    // A quarter turn or a reflection in a diagonal: the result is as wide as the source is high.
    constexpr bool SwapsSides() const { return a == 0; }
    // The image this gives, then transformed by next.
    constexpr Symmetry Then(const Symmetry& next) const {
        return {a * next.a + b * next.c, a * next.b + b * next.d, c * next.a + d * next.c, c * next.b + d * next.d};
    }
    // The result's size for a source of this size.
    constexpr ImageSize ResultSize(ImageSize source) const {
        return SwapsSides() ? ImageSize{source.height, source.width} : source;
    }
    // The source pixel that pixel target of the result shows, for a source of this size.
    constexpr Point Source(Point target, ImageSize source) const {
        return {a * target.x + b * target.y + (a < 0 || b < 0 ? source.width - 1 : 0),
                c * target.x + d * target.y + (c < 0 || d < 0 ? source.height - 1 : 0)};
    }
    constexpr bool operator==(const Symmetry&) const = default;
};

// The image transformed: whole rows are copied where rows stay rows, tiles of pixels otherwise.
RgbImage Transformed(const RgbImage& image, Symmetry symmetry);

}  // namespace zenivor
