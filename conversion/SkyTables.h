#pragma once
// Where each face of the sky cube comes from: the side-face crops for each strip width and the
// sky cap's four triangles. Every crop takes all 504 rows of the strip and is drawn at the top
// edge of the surface.

#include <array>
#include <span>

#include "conversion/Cube.h"
#include "imaging/ImageDecoder.h"
#include "imaging/ImageOps.h"

namespace zenivor {

inline constexpr int kStripHeight = kFaceSize;

// The status line's text before each side face is written, by face.
inline constexpr std::array<const char*, 4> kSavingTexts{"Saving North", "Saving West", "Saving South", "Saving East"};
constexpr const char* SavingTextOf(Face face) { return kSavingTexts[static_cast<std::size_t>(face)]; }

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

    std::span<const Crop> Crops() const { return std::span(crops).first(static_cast<std::size_t>(cropCount)); }
};

struct StripLayout {
    int width;
    std::array<FaceStep, 4> steps;
};

// A 2016 strip runs West, North, East, South from column 0 onwards, rotated so that West
// spans the seam: columns 1770 to 2015 and then 0 to 257. Every edge of the cube then joins.
inline constexpr std::array<StripLayout, 3> kStripLayouts{{
    {kFaceSize,
     {{{Face::South, {{{0, 0, kFaceSize}}}, 1, true, false},
       {Face::West, {}, 0, false, false},
       {Face::North, {{{0, 0, kFaceSize}}}, 1, true, true},
       {Face::East, {}, 0, false, false}}}},
    {2 * kFaceSize,
     {{{Face::West, {{{0, 0, kFaceSize}}}, 1, true, false},
       {Face::South, {}, 0, false, false},
       {Face::North, {{{0, kFaceSize, kFaceSize}}}, 1, true, true},
       {Face::East, {}, 0, false, false}}}},
    {4 * kFaceSize,
     {{{Face::West, {{{0, 1770, 246}, {246, 0, 258}}}, 2, true, false},
       {Face::South, {{{0, 1266, kFaceSize}}}, 1, false, false},
       {Face::North, {{{0, 258, kFaceSize}}}, 1, true, true},
       {Face::East, {{{0, 762, kFaceSize}}}, 1, false, false}}}},
}};

// The layout for a strip of that size; null for any size but 504, 1008 or 2016 x 504.
inline const StripLayout* StripLayoutFor(ImageSize size) {
    if (size.height != kStripHeight) return nullptr;
    for (const auto& layout : kStripLayouts)
        if (layout.width == size.width) return &layout;
    return nullptr;
}

enum class Transform { TurnClockwise, TurnCounterClockwise, Flip };

// A triangle of the sky cap, based on one whole edge, with the side face turned so that its
// top row lies along that edge. The fourth point repeats the first.
struct Quadrant {
    const char* statusText;
    Face face;
    std::array<Point, 4> polygon;
    std::array<Transform, 3> transforms;
    int transformCount;

    std::span<const Transform> Transforms() const {
        return std::span(transforms).first(static_cast<std::size_t>(transformCount));
    }
};

// Drawn in this order; where triangles overlap, the later one wins.
inline constexpr std::array<Quadrant, 4> kQuadrants{{
    {"Getting North sky.",
     Face::North,
     {{{0, kFaceSize}, {kFaceSize, kFaceSize}, {253, 249}, {0, kFaceSize}}},
     {Transform::TurnClockwise, Transform::Flip, Transform::TurnCounterClockwise},
     3},
    {"Getting West sky.",
     Face::West,
     {{{0, 0}, {0, kFaceSize}, {253, 249}, {0, 0}}},
     {Transform::TurnClockwise, Transform::Flip},
     2},
    {"Getting South sky.", Face::South, {{{0, 0}, {kFaceSize, 0}, {251, 253}, {0, 0}}}, {Transform::Flip}, 1},
    {"Getting East sky.",
     Face::East,
     {{{kFaceSize, kFaceSize}, {kFaceSize, 0}, {249, 251}, {kFaceSize, kFaceSize}}},
     {Transform::Flip, Transform::TurnClockwise},
     2},
}};

}  // namespace zenivor
