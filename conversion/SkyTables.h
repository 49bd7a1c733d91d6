#pragma once
// Where each face of the sky cube comes from: the side-face crops for each strip width, the
// sky cap's four triangles and the file names. Every crop takes all 504 rows of the strip and
// is drawn at the top edge of the surface.

#include <array>

#include "imaging/DrawingSurface.h"

namespace zenivor {

inline constexpr int kFaceSize = 504;

enum class Face { North, West, South, East };

struct SideFace {
    const char* fileName;
    const char* savingText;
};

inline constexpr std::array<SideFace, 4> kSideFaces{{
    {"F0010001.tga", "Saving North"},
    {"F0020001.tga", "Saving West"},
    {"F0030001.tga", "Saving South"},
    {"F0040001.tga", "Saving East"},
}};

inline constexpr const char* kSkyCapFile = "F0050001.tga";
inline constexpr const char* kGroundFile = "F0060001.tga";

inline const SideFace& SideFaceOf(Face face) { return kSideFaces[static_cast<std::size_t>(face)]; }

struct Crop {
    int destX;
    int srcX;
    int width;
};

// One face in the order of writing: cut from the strip by its crops, or, with no crops, the
// face written just before mirrored left to right.
struct FaceStep {
    Face face;
    std::array<Crop, 2> crops;
    int cropCount;
    bool repaintAfterCrop;
    bool confirmWestWritten;  // the West face must be on disk before North is cut
};

struct StripLayout {
    int width;
    std::array<FaceStep, 4> steps;
};

inline constexpr int kStripHeight = 504;

// A 2016 strip runs West, North, East, South from column 0 onwards, rotated so that West
// spans the seam: columns 1770 to 2015 and then 0 to 257. Every edge of the cube then joins.
inline constexpr std::array<StripLayout, 3> kStripLayouts{{
    {504,
     {{{Face::South, {{{0, 0, 504}}}, 1, true, false},
       {Face::West, {}, 0, false, false},
       {Face::North, {{{0, 0, 504}}}, 1, true, true},
       {Face::East, {}, 0, false, false}}}},
    {1008,
     {{{Face::West, {{{0, 0, 504}}}, 1, true, false},
       {Face::South, {}, 0, false, false},
       {Face::North, {{{0, 504, 504}}}, 1, true, true},
       {Face::East, {}, 0, false, false}}}},
    {2016,
     {{{Face::West, {{{0, 1770, 246}, {246, 0, 258}}}, 2, true, false},
       {Face::South, {{{0, 1266, 504}}}, 1, false, false},
       {Face::North, {{{0, 258, 504}}}, 1, true, true},
       {Face::East, {{{0, 762, 504}}}, 1, false, false}}}},
}};

inline const StripLayout* StripLayoutFor(int width, int height) {
    if (height != kStripHeight) return nullptr;
    for (const auto& layout : kStripLayouts)
        if (layout.width == width) return &layout;
    return nullptr;
}

enum class Transform { TurnClockwise, TurnCounterClockwise, Flip };

// A triangle of the sky cap, based on one whole edge, with the side face turned so that its
// top row lies along that edge.
struct Quadrant {
    const char* statusText;
    Face face;
    std::array<POINT, 4> polygon;
    std::array<Transform, 3> transforms;
    int transformCount;
};

// Drawn in this order; where triangles overlap, the later one wins.
inline constexpr std::array<Quadrant, 4> kQuadrants{{
    {"Getting North sky.", Face::North, {{{0, 504}, {504, 504}, {253, 249}, {0, 504}}},
     {Transform::TurnClockwise, Transform::Flip, Transform::TurnCounterClockwise}, 3},
    {"Getting West sky.", Face::West, {{{0, 0}, {0, 504}, {253, 249}, {0, 0}}},
     {Transform::TurnClockwise, Transform::Flip}, 2},
    {"Getting South sky.", Face::South, {{{0, 0}, {504, 0}, {251, 253}, {0, 0}}}, {Transform::Flip}, 1},
    {"Getting East sky.", Face::East, {{{504, 504}, {504, 0}, {249, 251}, {504, 504}}},
     {Transform::Flip, Transform::TurnClockwise}, 2},
}};

}  // namespace zenivor
