#pragma once
// The sky cube of a 360-degree equirectangular panorama: each face the 90-degree perspective
// view from the cube's centre, the sky cap looking straight up and the ground straight down,
// oriented so that they join the side faces as the strip's cap does.

#include <array>
#include <functional>

#include "conversion/Cube.h"
#include "imaging/ImageDecoder.h"
#include "imaging/LinearLight.h"
#include "imaging/RgbImage.h"

namespace zenivor {

// A direction from the cube's centre: x toward the middle of North, y toward the middle of
// East, z up. Not of unit length.
struct Direction {
    double x;
    double y;
    double z;
};

// The direction through (column, row) of a face, in pixels from its top-left corner (a pixel's
// centre is at i + 0.5); as seen from inside the cube.
Direction FaceDirection(Face face, double column, double row);

// Where a direction lies in the panorama: longitude in degrees from its left edge [0, 360), and
// latitude in degrees, 90 at the top. North looks at longitude northDegrees.
struct PanoramaPoint {
    double longitude;
    double latitude;
};
PanoramaPoint PanoramaPointOf(const Direction& direction, double northDegrees);

// By default North looks at the panorama's centre column.
inline constexpr double kDefaultNorthDegrees = 180.0;

// True for an image twice as wide as it is high, the shape of every equirectangular panorama.
bool IsEquirectangular(int width, int height);

// The largest power of two a panorama of this size may be shrunk by before the projection
// without losing anything the faces show: every face pixel's footprint (across its wider side)
// still spans at least that many of its rows.
int UnneededResolutionFactor(ImageSize panorama);

// How a face pixel's footprint lies on a panorama of this size: the panorama's pixel coordinates
// (u to the right, v downward) gained per face column and per face row at a point of the face.
// The pixel's square maps to the parallelogram these two steps span: long across the rows and
// thin down them near the poles, turned with the longitude on the sky cap and the ground.
struct Footprint {
    double uPerColumn;
    double vPerColumn;
    double uPerRow;
    double vPerRow;
};
Footprint FootprintOf(Face face, double column, double row, ImageSize panorama);

// How the cube is turned in the panorama, as one rotation of the directions it looks along:
// first by roll about North's direction (clockwise as North sees it: East then looks roll
// degrees below the panorama's horizon, which levels a horizon that runs down to the right),
// then by pitch about East's direction (North then looks pitch degrees up), then round the
// vertical so that North looks at longitude north.
struct PanoramaView {
    double north = kDefaultNorthDegrees;
    double pitch = 0;
    double roll = 0;
};

// The panorama's direction a direction of the cube looks along.
Direction PanoramaDirection(const Direction& cube, const PanoramaView& view);

// The six faces (indexed by Face) seen in the panorama, each pixel the mean over its own
// footprint of the panorama's Catmull-Rom reconstruction, read from the panorama itself or the
// halving just finer than the footprint (see Equirect.cpp). Uses every core; progress, when
// given, is told the share done (from any of them).
std::array<RgbImage, 6> ProjectPanorama(const RgbImage& panorama, const PanoramaView& view,
                                        const std::function<void(double)>& progress = nullptr);
inline std::array<RgbImage, 6> ProjectPanorama(const RgbImage& panorama, double northDegrees = kDefaultNorthDegrees) {
    return ProjectPanorama(panorama, PanoramaView{.north = northDegrees});
}
// The same in linear light: a panorama of linear light (display or scene light) into faces of
// the same light, filtered as floats, for the caller to tone-map and encode.
std::array<LinearImage, 6> ProjectLinearPanorama(const LinearImage& panorama, const PanoramaView& view = {},
                                                 const std::function<void(double)>& progress = nullptr);

}  // namespace zenivor
