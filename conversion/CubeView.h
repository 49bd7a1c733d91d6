#pragma once
// Ways of looking at a sky cube: the unfolded cross, and the view from the cube's centre in
// perspective, as the game shows it.

#include <array>

#include "conversion/Cube.h"
#include "conversion/Equirect.h"
#include "imaging/RgbImage.h"

namespace zenivor {

// The unfolded cross: the sky cap above North, then West, North, East and South in a row, the
// ground below North.
inline constexpr int kCrossColumns = 4;
inline constexpr int kCrossRows = 3;
struct CrossCell {
    int column;
    int row;
};
constexpr CrossCell CrossCellOf(Face face) {
    constexpr std::array<CrossCell, 6> kCells{{{1, 1}, {0, 1}, {3, 1}, {2, 1}, {1, 0}, {1, 2}}};
    return kCells[static_cast<std::size_t>(face)];
}

// The six faces (by Face) laid out as the cross, each in its cell of kFaceSize square, over a
// background of that colour; a face of another size shows what fits of it.
RgbImage CrossImage(const std::array<RgbImage, 6>& faces, Rgb background);

// Where the view looks: yaw in degrees from North toward East, pitch in degrees up from the
// horizon, and the field of view across the view's width, in degrees.
struct ViewAngles {
    double yaw = 0;
    double pitch = 0;
    double fieldOfView = 90;
};

inline constexpr double kNarrowestFieldOfView = 30;
inline constexpr double kWidestFieldOfView = 120;

// The cube seen from its centre. The faces get a border of one pixel from their neighbours, so
// that sampling between pixels (bilinearly) shows no seam at the cube's edges.
class CubeLookAround {
public:
    // The six faces by Face, each kFaceSize square.
    explicit CubeLookAround(const std::array<RgbImage, 6>& faces);

    // Draws the view into out, whose size is the view's; on every core.
    void Render(const ViewAngles& view, RgbImage& out) const;

private:
    // A face with its border: (kFaceSize + 2) square.
    std::array<RgbImage, 6> bordered_;
};

// A panorama seen from the centre as its cube would show it, turned as a view of the panorama
// says, read straight from the panorama (bilinearly): fast enough to follow every change of the
// view while the cube itself is still to be projected.
class PanoramaLookAround {
public:
    explicit PanoramaLookAround(RgbImage panorama) : panorama_(std::move(panorama)) {}

    void Render(const ViewAngles& view, const PanoramaView& turn, RgbImage& out) const;

private:
    RgbImage panorama_;
};

}  // namespace zenivor
