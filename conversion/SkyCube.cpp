#include "conversion/SkyCube.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

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

namespace {

// Rows whose source runs along a row of the face: one copy each, forwards or backwards.
void DrawAlongRows(RgbImage& surface, const RgbImage& face, const SquareMap& map, std::span<const Span> spans) {
    for (const Span& span : spans) {
        const std::uint8_t* source =
            face.Row(map.d * span.y + map.f) + static_cast<std::size_t>(map.a * span.first + map.e) * 3;
        std::uint8_t* target = surface.Row(span.y) + static_cast<std::size_t>(span.first) * 3;
        const auto count = static_cast<std::size_t>(span.end - span.first);
        if (map.a == 1) {
            std::memcpy(target, source, count * 3);
            continue;
        }
        for (std::size_t i = 0; i < count; ++i, target += 3, source -= 3) std::memcpy(target, source, 3);
    }
}

// Rows whose source runs down a column of the face are drawn in tiles of a band of rows by as
// many columns: a tile's rows then read neighbouring pixels of the same few rows of the face,
// where row by row each would stride down the whole face.
void DrawDownColumns(RgbImage& surface, const RgbImage& face, const SquareMap& map, std::span<const Span> spans) {
    constexpr std::size_t kTile = 16;
    const std::ptrdiff_t step = map.c * static_cast<std::ptrdiff_t>(face.RowBytes());
    for (std::size_t start = 0; start < spans.size(); start += kTile) {
        const std::span<const Span> band = spans.subspan(start, std::min(kTile, spans.size() - start));
        int left = band.front().first, right = band.front().end;
        for (const Span& span : band) left = std::min(left, span.first), right = std::max(right, span.end);
        for (int tileLeft = left; tileLeft < right; tileLeft += static_cast<int>(kTile)) {
            const int tileRight = std::min(tileLeft + static_cast<int>(kTile), right);
            for (const Span& span : band) {
                const int from = std::max(tileLeft, span.first), to = std::min(tileRight, span.end);
                if (from >= to) continue;
                const std::uint8_t* source =
                    face.Row(map.c * from + map.f) + static_cast<std::size_t>(map.b * span.y + map.e) * 3;
                std::uint8_t* target = surface.Row(span.y) + static_cast<std::size_t>(from) * 3;
                for (int x = from; x < to; ++x, target += 3, source += step) std::memcpy(target, source, 3);
            }
        }
    }
}

}  // namespace

// Only the triangle's pixels are fetched, straight from the face through the composed map,
// instead of turning and mirroring the whole face first.
void DrawQuadrant(RgbImage& surface, const RgbImage& face, const Quadrant& quadrant) {
    const SquareMap map = QuadrantMap(quadrant);
    const std::vector<Span> spans = PolygonSpans(quadrant.polygon, kFaceSize, kFaceSize);
    if (map.c == 0)
        DrawAlongRows(surface, face, map, spans);
    else
        DrawDownColumns(surface, face, map, spans);
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
