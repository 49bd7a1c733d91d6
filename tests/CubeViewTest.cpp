// Looking at a cube: the unfolded cross, and the view from its centre against the cube's own
// geometry and an analytic field of directions.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "conversion/CubeView.h"
#include "conversion/Equirect.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

// Six faces that differ from each other everywhere: pixel coordinates, and the face in blue.
std::array<RgbImage, 6> DistinctFaces() {
    std::array<RgbImage, 6> faces;
    for (const Face face : kAllFaces) {
        RgbImage& image = faces[static_cast<std::size_t>(face)] = CoordinateImage(kFaceSize, kFaceSize);
        for (int y = 0; y < kFaceSize; ++y)
            for (int x = 0; x < kFaceSize; ++x) {
                Rgb pixel = image.At(x, y);
                pixel[2] = static_cast<std::uint8_t>(40 * static_cast<int>(face) + (x + y) % 7);
                image.Set(x, y, pixel);
            }
    }
    return faces;
}

int MaxDifference(const RgbImage& a, const RgbImage& b) {
    int worst = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) worst = std::max(worst, std::abs(a.pixels[i] - b.pixels[i]));
    return worst;
}

TEST(CubeView, TheCrossHoldsEachFaceInItsCell) {
    const auto faces = DistinctFaces();
    const RgbImage cross = CrossImage(faces, {1, 2, 3});
    ASSERT_EQ(cross.width, 4 * kFaceSize);
    ASSERT_EQ(cross.height, 3 * kFaceSize);
    // Where the unfolded cube puts each face, written out here rather than taken from the table.
    const std::pair<Face, Point> cells[] = {{Face::SkyCap, {1, 0}}, {Face::West, {0, 1}},  {Face::North, {1, 1}},
                                            {Face::East, {2, 1}},   {Face::South, {3, 1}}, {Face::Ground, {1, 2}}};
    for (const auto& [face, cell] : cells)
        for (int y = 0; y < kFaceSize; y += 7)
            for (int x = 0; x < kFaceSize; x += 5)
                ASSERT_EQ(cross.At(cell.x * kFaceSize + x, cell.y * kFaceSize + y),
                          faces[static_cast<std::size_t>(face)].At(x, y));
    EXPECT_EQ(cross.At(0, 0), (Rgb{1, 2, 3})) << "no face above West";
}

// Looking straight at a face with the field of view of a face, the view is that face.
TEST(CubeView, StraightAtAFaceTheViewIsThatFace) {
    const auto faces = DistinctFaces();
    const CubeLookAround cube(faces);
    const struct {
        Face face;
        double yaw, pitch;
    } rows[] = {{Face::North, 0, 0},  {Face::East, 90, 0},   {Face::South, 180, 0}, {Face::West, -90, 0},
                {Face::West, 270, 0}, {Face::SkyCap, 0, 90}, {Face::Ground, 0, -90}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.yaw) + ", " + std::to_string(row.pitch));
        RgbImage view = RgbImage::Unfilled(kFaceSize, kFaceSize);
        cube.Render({row.yaw, row.pitch, 90}, view);
        EXPECT_LE(MaxDifference(view, faces[static_cast<std::size_t>(row.face)]), 1);
    }
}

// A cube whose every pixel holds its own direction, as colour: any view, across edges and
// corners too, shows the direction of each of its rays, to within what sampling between pixels
// of a smooth field costs. A seam would show as a jump.
TEST(CubeView, EveryRayShowsItsDirectionAcrossEdgesAndCorners) {
    const auto colour = [](double x, double y, double z) {
        const double length = std::sqrt(x * x + y * y + z * z);
        const auto channel = [](double v) { return static_cast<std::uint8_t>(std::lround((v + 1) * 127.5)); };
        return Rgb{channel(x / length), channel(y / length), channel(z / length)};
    };
    std::array<RgbImage, 6> faces;
    for (const Face face : kAllFaces) {
        RgbImage& image = faces[static_cast<std::size_t>(face)] = RgbImage::Unfilled(kFaceSize, kFaceSize);
        for (int y = 0; y < kFaceSize; ++y)
            for (int x = 0; x < kFaceSize; ++x) {
                const Direction d = FaceDirection(face, x + 0.5, y + 0.5);
                image.Set(x, y, colour(d.x, d.y, d.z));
            }
    }
    const CubeLookAround cube(faces);
    constexpr double kRadians = std::numbers::pi / 180;
    const ViewAngles views[] = {{45, 0, 60},  {45, 35.26, 40}, {-135, -35.26, 120}, {10, 44, 30},
                                {180, 0, 90}, {0, 89, 90},     {-90, -60, 75}};
    for (const ViewAngles& view : views) {
        SCOPED_TRACE(std::to_string(view.yaw) + ", " + std::to_string(view.pitch));
        RgbImage image = RgbImage::Unfilled(160, 100);
        cube.Render(view, image);
        const double yaw = view.yaw * kRadians, pitch = view.pitch * kRadians;
        const double focal = (image.width / 2.0) / std::tan(view.fieldOfView * kRadians / 2);
        int worst = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                // The ray in the camera's own axes, then turned by pitch and yaw.
                const double right = (x + 0.5 - image.width / 2.0) / focal;
                const double up = -(y + 0.5 - image.height / 2.0) / focal;
                const double forward = std::cos(pitch) - up * std::sin(pitch);
                const double z = std::sin(pitch) + up * std::cos(pitch);
                const Rgb expected = colour(forward * std::cos(yaw) - right * std::sin(yaw),
                                            forward * std::sin(yaw) + right * std::cos(yaw), z);
                const Rgb got = image.At(x, y);
                for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(got[c] - expected[c]));
            }
        EXPECT_LE(worst, 2);
    }
}

}  // namespace
}  // namespace zenivor::test
