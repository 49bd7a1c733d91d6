#include "conversion/SkyCube.h"

namespace zenivor {

void DrawFaceCrops(RgbImage& surface, const RgbImage& strip, const FaceStep& step) {
    for (const Crop& crop : step.Crops()) DrawCrop(surface, crop.destX, 0, strip, crop.srcX, 0, crop.width, kStripHeight);
}

RgbImage PreparedForQuadrant(RgbImage face, const Quadrant& quadrant) {
    for (const Transform transform : quadrant.Transforms()) {
        if (transform == Transform::Flip)
            FlipHorizontally(face);
        else
            face = Turned(face, transform == Transform::TurnClockwise ? Turn::Clockwise : Turn::CounterClockwise);
    }
    return face;
}

void DrawQuadrant(RgbImage& surface, RgbImage face, const Quadrant& quadrant) {
    DrawPolygon(surface, PreparedForQuadrant(std::move(face), quadrant), quadrant.polygon);
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
    for (const Quadrant& quadrant : kQuadrants) DrawQuadrant(cap, sides[static_cast<std::size_t>(quadrant.face)], quadrant);
    return cap;
}

}  // namespace zenivor
