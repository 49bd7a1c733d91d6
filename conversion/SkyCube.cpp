#include "conversion/SkyCube.h"

#include <cstring>

namespace zenivor {

void DrawFaceCrops(RgbImage& surface, const RgbImage& strip, const FaceStep& step) {
    for (const Crop& crop : step.Crops())
        DrawCrop(surface, crop.destX, 0, strip, crop.srcX, 0, crop.width, kStripHeight);
}

namespace {

// Where pixel (x, y) of the turned and mirrored face lies in the face as read: the quadrant's
// transforms of the square compose into one of its eight symmetries,
// (x, y) -> (a x + b y + e, c x + d y + f).
struct SquareMap {
    int a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    // This map after `then`: first then, on what it gives, this.
    SquareMap After(const SquareMap& then) const {
        return {a * then.a + b * then.c, a * then.b + b * then.d,     c * then.a + d * then.c,
                c * then.b + d * then.d, a * then.e + b * then.f + e, c * then.e + d * then.f + f};
    }
};

// A transform's image pixel (x, y) holds the source pixel this map gives, as Turned and
// FlipHorizontally do it.
SquareMap MapOf(Transform transform) {
    constexpr int n = kFaceSize - 1;
    switch (transform) {
        case Transform::Flip: return {-1, 0, 0, 1, n, 0};
        case Transform::TurnClockwise: return {0, 1, -1, 0, 0, n};
        case Transform::TurnCounterClockwise: return {0, -1, 1, 0, n, 0};
    }
    return {};
}

SquareMap QuadrantMap(const Quadrant& quadrant) {
    SquareMap map;
    for (const Transform transform : quadrant.Transforms()) map = map.After(MapOf(transform));
    return map;
}

}  // namespace

// Only the triangle's pixels are fetched, straight from the face through the composed map,
// instead of turning and mirroring the whole face first.
void DrawQuadrant(RgbImage& surface, const RgbImage& face, const Quadrant& quadrant) {
    const SquareMap map = QuadrantMap(quadrant);
    const std::ptrdiff_t step = 3 * map.a + map.c * static_cast<std::ptrdiff_t>(face.RowBytes());
    for (const Span& span : PolygonSpans(quadrant.polygon, kFaceSize, kFaceSize)) {
        const int sourceX = map.a * span.first + map.b * span.y + map.e;
        const int sourceY = map.c * span.first + map.d * span.y + map.f;
        const std::uint8_t* source = face.Row(sourceY) + static_cast<std::size_t>(sourceX) * 3;
        std::uint8_t* target = surface.Row(span.y) + static_cast<std::size_t>(span.first) * 3;
        const auto count = static_cast<std::size_t>(span.end - span.first);
        if (step == 3) {
            std::memcpy(target, source, count * 3);
            continue;
        }
        for (std::size_t i = 0; i < count; ++i, target += 3, source += step)
            target[0] = source[0], target[1] = source[1], target[2] = source[2];
    }
}

std::array<RgbImage, 4> CutSideFaces(const RgbImage& strip, const StripLayout& layout) {
    std::array<RgbImage, 4> faces;
    RgbImage surface = RgbImage::Filled(kFaceSize, kFaceSize, {0, 0, 0});
    RgbImage face;
    for (const FaceStep& step : layout.steps) {
        if (step.cropCount == 0) {
            FlipHorizontally(face);
        } else {
            DrawFaceCrops(surface, strip, step);
            face = surface;
        }
        faces[static_cast<std::size_t>(step.face)] = face;
    }
    return faces;
}

RgbImage ComposeSkyCap(const std::array<RgbImage, 4>& sides, Rgb background) {
    RgbImage cap = RgbImage::Filled(kFaceSize, kFaceSize, background);
    for (const Quadrant& quadrant : kQuadrants)
        DrawQuadrant(cap, sides[static_cast<std::size_t>(quadrant.face)], quadrant);
    return cap;
}

}  // namespace zenivor
