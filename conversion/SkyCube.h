#pragma once
// The sky cube built from a strip in memory: the side faces cut from it and the sky cap
// composed of their triangles. No files and no display; the conversion calls these step by
// step between its reads, writes and repaints.

#include <array>

#include "conversion/SkyTables.h"
#include "imaging/RgbImage.h"

namespace zenivor {

// Draws one face's crops of the strip into the surface.
void DrawFaceCrops(RgbImage& surface, const RgbImage& strip, const FaceStep& step);

// Draws the quadrant's triangle of the side face, turned and mirrored as the quadrant says so
// that its top row lies on the triangle's base, into the surface (both kFaceSize square).
void DrawQuadrant(RgbImage& surface, const RgbImage& face, const Quadrant& quadrant);

// Cuts the side faces one after the other, in the order of writing: a face with crops is
// drawn into the surface, which is then the face; one without is the face before, mirrored.
class SideFaceCutter {
public:
    SideFaceCutter(const RgbImage& strip, RgbImage& surface) : strip_(strip), surface_(surface) {}
    // The step's face; valid until the next call.
    const RgbImage& Next(const FaceStep& step);

private:
    const RgbImage& strip_;
    RgbImage& surface_;
    RgbImage mirrored_;
    const RgbImage* face_ = &surface_;
};

// The four side faces of a strip of one of the layouts' sizes, indexed by Face.
std::array<RgbImage, 4> CutSideFaces(const RgbImage& strip, const StripLayout& layout);
// The sky cap of four side faces (indexed by Face), drawn over a surface of that colour.
RgbImage ComposeSkyCap(const std::array<RgbImage, 4>& sides, Rgb background);

}  // namespace zenivor
