#include "conversion/SkyCube.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "imaging/Symmetry.h"

namespace zenivor {

void DrawFaceCrops(RgbImage& surface, const RgbImage& strip, const FaceStep& step) {
    for (const Crop& crop : step.Crops())
        DrawCrop(surface, crop.destX, 0, strip, crop.srcX, 0, crop.width, kStripHeight);
}

namespace {

// Where pixel (x, y) of the turned and mirrored face lies in the face as read: the quadrant's
// transforms compose into one of the square's eight symmetries.
Symmetry SymmetryOf(Transform transform) {
    switch (transform) {
        case Transform::Flip: return Symmetry::MirrorLeftRight();
        case Transform::TurnClockwise: return Symmetry::TurnClockwise();
        case Transform::TurnCounterClockwise: return Symmetry::TurnCounterClockwise();
    }
    return {};
}

Symmetry QuadrantSymmetry(const Quadrant& quadrant) {
    Symmetry symmetry;
    for (const Transform transform : quadrant.Transforms()) symmetry = symmetry.Then(SymmetryOf(transform));
    return symmetry;
}

constexpr ImageSize kFace{kFaceSize, kFaceSize};

// Rows whose source runs along a row of the face: one copy each, forwards or backwards.
void DrawAlongRows(RgbImage& surface, const RgbImage& face, const Symmetry& map, std::span<const Span> spans) {
    for (const Span& span : spans) {
        const Point first = map.Source({span.first, span.y}, kFace);
        const std::uint8_t* source = face.Row(first.y) + static_cast<std::size_t>(first.x) * 3;
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
void DrawDownColumns(RgbImage& surface, const RgbImage& face, const Symmetry& map, std::span<const Span> spans) {
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
                const Point first = map.Source({from, span.y}, kFace);
                const std::uint8_t* source = face.Row(first.y) + static_cast<std::size_t>(first.x) * 3;
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
    const Symmetry map = QuadrantSymmetry(quadrant);
    const std::vector<Span> spans = PolygonSpans(quadrant.polygon, kFaceSize, kFaceSize);
    if (map.c == 0)
        DrawAlongRows(surface, face, map, spans);
    else
        DrawDownColumns(surface, face, map, spans);
}

const RgbImage& SideFaceCutter::Next(const FaceStep& step) {
    if (step.cropCount == 0) {
        if (face_ != &mirrored_) mirrored_ = *face_;
        FlipHorizontally(mirrored_);
        face_ = &mirrored_;
    } else {
        DrawFaceCrops(surface_, strip_, step);
        face_ = &surface_;
    }
    return *face_;
}

std::array<RgbImage, 4> CutSideFaces(const RgbImage& strip, const StripLayout& layout) {
    std::array<RgbImage, 4> faces;
    RgbImage surface = RgbImage::Filled(kFaceSize, kFaceSize, {0, 0, 0});
    SideFaceCutter cutter(strip, surface);
    for (const FaceStep& step : layout.steps) faces[static_cast<std::size_t>(step.face)] = cutter.Next(step);
    return faces;
}

RgbImage ComposeSkyCap(const std::array<RgbImage, 4>& sides, Rgb background) {
    RgbImage cap = RgbImage::Filled(kFaceSize, kFaceSize, background);
    for (const Quadrant& quadrant : kQuadrants)
        DrawQuadrant(cap, sides[static_cast<std::size_t>(quadrant.face)], quadrant);
    return cap;
}

}  // namespace zenivor
