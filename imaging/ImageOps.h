#pragma once
// What the conversion does to images: unscaled copies of rectangles, mirroring, turns and
// copies through a polygon. All work on values; nothing here can fail.

#include <span>
#include <vector>

#include "imaging/RgbImage.h"

namespace zenivor {

// Copies width x height pixels from (sourceX, sourceY) of source to (targetX, targetY) of
// target, unscaled; whatever lies outside either image is left out.
void DrawCrop(RgbImage& target, int targetX, int targetY, const RgbImage& source, int sourceX, int sourceY, int width,
              int height);

// Mirrors left to right, in place.
void FlipHorizontally(RgbImage& image);

enum class Turn { Clockwise, Half, CounterClockwise };
// The image turned as it looks when shown: a quarter turn swaps width and height.
RgbImage Turned(const RgbImage& image, Turn turn);

// One row's run of pixels inside a polygon: x from first up to, not including, end.
struct Span {
    int y;
    int first;
    int end;
};
// The pixels of a width x height grid whose centres lie inside the polygon (non-zero winding);
// a centre exactly on an edge is inside on left and top edges only, so polygons that share an
// edge never both take a pixel.
std::vector<Span> PolygonSpans(std::span<const Point> polygon, int width, int height);
// Copies the pixels of source inside the polygon to the same places in target.
void DrawPolygon(RgbImage& target, const RgbImage& source, std::span<const Point> polygon);

}  // namespace zenivor
