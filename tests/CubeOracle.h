#pragma once
// Where each pixel of the cube comes from, written out from the cube's geometry rather than taken
// from the tables under test: which strip column a side face shows, and which triangle of which
// side face each sky-cap pixel belongs to.

#include "conversion/Cube.h"
#include "imaging/ImageOps.h"
#include "imaging/RgbImage.h"

namespace zenivor::test {

// The strip column shown in column x of a side face, for strips 504, 1008 or 2016 wide.
inline int ExpectedStripColumn(int stripWidth, Face face, int x) {
    const int mirrored = 503 - x;
    switch (stripWidth) {
        case 504: return (face == Face::North || face == Face::South) ? x : mirrored;
        case 1008:
            switch (face) {
                case Face::North: return 504 + x;
                case Face::West: return x;
                case Face::South: return mirrored;
                default: return 504 + mirrored;  // East
            }
        default:  // 2016: the faces follow each other round the horizon, West across the seam
            switch (face) {
                case Face::North: return 258 + x;
                case Face::West: return x < 246 ? 1770 + x : x - 246;
                case Face::South: return 1266 + x;
                default: return 762 + x;  // East
            }
    }
}

// The sky cap's four triangles: each based on one whole edge, its apex just past the centre.
// Drawn in this order; a later one wins an overlap.
struct CapTriangle {
    Face face;
    Point a, b, apex;
};
inline constexpr CapTriangle kCapTriangles[] = {
    {Face::North, {0, 504}, {504, 504}, {253, 249}},
    {Face::West, {0, 0}, {0, 504}, {253, 249}},
    {Face::South, {0, 0}, {504, 0}, {251, 253}},
    {Face::East, {504, 504}, {504, 0}, {249, 251}},
};

// Where a sky-cap pixel comes from in its side face: each face's top row lies along its base.
inline Rgb ExpectedCapPixel(Face face, const RgbImage& side, int x, int y) {
    switch (face) {
        case Face::North: return side.At(x, 503 - y);
        case Face::West: return side.At(y, x);
        case Face::South: return side.At(503 - x, y);
        default: return side.At(503 - y, 503 - x);  // East
    }
}

// Which side of an edge a pixel centre lies on: > 0 one way, 0 exactly on it.
inline long long EdgeSide(Point a, Point b, int x, int y) {
    return (2LL * (b.x - a.x)) * (2LL * y + 1 - 2LL * a.y) - (2LL * (b.y - a.y)) * (2LL * x + 1 - 2LL * a.x);
}

// The index of the last triangle whose inside holds the centre; -1 where a centre lies on an edge.
inline int OwningCapTriangle(int x, int y) {
    int owner = -1;
    for (int q = 0; q < 4; ++q) {
        const CapTriangle& t = kCapTriangles[q];
        const long long s0 = EdgeSide(t.a, t.b, x, y), s1 = EdgeSide(t.b, t.apex, x, y);
        const long long s2 = EdgeSide(t.apex, t.a, x, y);
        if (s0 == 0 || s1 == 0 || s2 == 0) return -1;
        if ((s0 > 0 && s1 > 0 && s2 > 0) || (s0 < 0 && s1 < 0 && s2 < 0)) owner = q;
    }
    return owner;
}

}  // namespace zenivor::test
