#include "conversion/CubeView.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "conversion/Equirect.h"
#include "util/Parallel.h"

namespace zenivor {
namespace {

constexpr int kBordered = kFaceSize + 2;

// A face's frame as axes of the cube: the direction through a face pixel is forward plus a
// times right plus b times up, for a and b in [-1, 1]. Each is one axis, with a sign.
struct AxisFrame {
    int forwardAxis, rightAxis, upAxis;
    float forwardSign, rightSign, upSign;
};

// The axis a vector lies along, and its sign there.
std::pair<int, float> AxisOf(const Direction& d) {
    const double parts[] = {d.x, d.y, d.z};
    for (int axis = 0; axis < 3; ++axis)
        if (std::abs(parts[axis]) > 0.5) return {axis, parts[axis] > 0 ? 1.0F : -1.0F};
    return {0, 1.0F};
}

Direction Minus(const Direction& a, const Direction& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// Taken from the faces' own geometry, so that the view and the projection agree.
AxisFrame FrameOf(Face face) {
    constexpr double kMiddle = kFaceSize / 2.0;
    const Direction forward = FaceDirection(face, kMiddle, kMiddle);
    const auto [forwardAxis, forwardSign] = AxisOf(forward);
    const auto [rightAxis, rightSign] = AxisOf(Minus(FaceDirection(face, kFaceSize, kMiddle), forward));
    const auto [upAxis, upSign] = AxisOf(Minus(FaceDirection(face, kMiddle, 0), forward));
    return {forwardAxis, rightAxis, upAxis, forwardSign, rightSign, upSign};
}

struct Frames {
    std::array<AxisFrame, 6> byFace;
    std::array<Face, 6> byAxis;  // the face looking along axis a, positive at 2a, negative at 2a + 1
};

constexpr std::size_t AxisSlot(int axis, bool positive) {
    return 2 * static_cast<std::size_t>(axis) + (positive ? 0 : 1);
}

const Frames& CubeFrames() {
    static const Frames frames = [] {
        Frames built{};
        for (const Face face : kAllFaces) {
            const AxisFrame frame = FrameOf(face);
            built.byFace[static_cast<std::size_t>(face)] = frame;
            built.byAxis[AxisSlot(frame.forwardAxis, frame.forwardSign > 0)] = face;
        }
        return built;
    }();
    return frames;
}

// Where a direction meets the cube: the face, and a and b on it.
struct FacePoint {
    Face face;
    float a, b;
};

inline FacePoint PointOf(const Frames& frames, const float d[3]) {
    const float ax = std::abs(d[0]), ay = std::abs(d[1]), az = std::abs(d[2]);
    const int axis = ax >= ay && ax >= az ? 0 : (ay >= az ? 1 : 2);
    const Face face = frames.byAxis[AxisSlot(axis, d[axis] > 0)];
    const AxisFrame& frame = frames.byFace[static_cast<std::size_t>(face)];
    const float inverse = frame.forwardSign / d[frame.forwardAxis];
    return {face, frame.rightSign * d[frame.rightAxis] * inverse, frame.upSign * d[frame.upAxis] * inverse};
}

// The face pixel a point of its face lies in.
int PixelOf(float coordinate) {
    return std::clamp(static_cast<int>(std::floor((coordinate + 1.0F) * 0.5F * kFaceSize)), 0, kFaceSize - 1);
}

// The face inside a border of the pixels just beyond its edges, from the faces they lie on.
RgbImage Bordered(const std::array<RgbImage, 6>& faces, Face face) {
    RgbImage out = RgbImage::Unfilled(kBordered, kBordered);
    for (int y = 0; y < kBordered; ++y)
        for (int x = 0; x < kBordered; ++x) {
            const bool inside = x > 0 && y > 0 && x <= kFaceSize && y <= kFaceSize;
            if (inside) {
                std::memcpy(out.Row(y) + static_cast<std::size_t>(x) * 3,
                            faces[static_cast<std::size_t>(face)].Row(y - 1) + static_cast<std::size_t>(x - 1) * 3, 3);
                continue;
            }
            const Direction d = FaceDirection(face, x - 0.5, y - 0.5);
            const float ray[] = {static_cast<float>(d.x), static_cast<float>(d.y), static_cast<float>(d.z)};
            const FacePoint point = PointOf(CubeFrames(), ray);
            const RgbImage& source = faces[static_cast<std::size_t>(point.face)];
            std::memcpy(out.Row(y) + static_cast<std::size_t>(x) * 3,
                        source.Row(PixelOf(-point.b)) + static_cast<std::size_t>(PixelOf(point.a)) * 3, 3);
        }
    return out;
}

// The camera's axes in the cube's: forward, right and up.
struct Camera {
    float forward[3], right[3], up[3];
};

Camera CameraOf(const ViewAngles& view) {
    constexpr double kRadians = std::numbers::pi / 180.0;
    const double yaw = view.yaw * kRadians, pitch = view.pitch * kRadians;
    const auto f = [](double v) { return static_cast<float>(v); };
    return {{f(std::cos(pitch) * std::cos(yaw)), f(std::cos(pitch) * std::sin(yaw)), f(std::sin(pitch))},
            {f(-std::sin(yaw)), f(std::cos(yaw)), 0.0F},
            {f(-std::sin(pitch) * std::cos(yaw)), f(-std::sin(pitch) * std::sin(yaw)), f(std::cos(pitch))}};
}

}  // namespace

RgbImage CrossImage(const std::array<RgbImage, 6>& faces, Rgb background) {
    RgbImage cross = RgbImage::Filled(kCrossColumns * kFaceSize, kCrossRows * kFaceSize, background);
    for (const Face face : kAllFaces) {
        const RgbImage& image = faces[static_cast<std::size_t>(face)];
        const CrossCell cell = CrossCellOf(face);
        const int width = std::min(image.width, kFaceSize), height = std::min(image.height, kFaceSize);
        for (int y = 0; y < height; ++y)
            std::memcpy(cross.Row(cell.row * kFaceSize + y) + static_cast<std::size_t>(cell.column * kFaceSize) * 3,
                        image.Row(y), static_cast<std::size_t>(width) * 3);
    }
    return cross;
}

CubeLookAround::CubeLookAround(const std::array<RgbImage, 6>& faces) {
    for (const Face face : kAllFaces) bordered_[static_cast<std::size_t>(face)] = Bordered(faces, face);
}

void CubeLookAround::Render(const ViewAngles& view, RgbImage& out) const {
    if (out.Empty()) return;
    const Camera camera = CameraOf(view);
    const double halfAngle = std::clamp(view.fieldOfView, 1.0, 179.0) * std::numbers::pi / 360.0;
    const auto perPixel = static_cast<float>(std::tan(halfAngle) / (out.width / 2.0));
    constexpr int kBands = 32;
    const int bandRows = (out.height + kBands - 1) / kBands;
    const Frames& frames = CubeFrames();
    ForEachIndexInParallel(kBands, [&](int band) {
        for (int y = band * bandRows; y < std::min(out.height, (band + 1) * bandRows); ++y) {
            // Along a row the ray moves by a fixed step to the right.
            const float down = ((y + 0.5F) - out.height / 2.0F) * perPixel;
            const float across = (0.5F - out.width / 2.0F) * perPixel;
            float ray[3];
            for (int i = 0; i < 3; ++i) ray[i] = camera.forward[i] - down * camera.up[i] + across * camera.right[i];
            const float step[3] = {camera.right[0] * perPixel, camera.right[1] * perPixel, camera.right[2] * perPixel};
            std::uint8_t* target = out.Row(y);
            for (int x = 0; x < out.width; ++x, target += 3) {
                const FacePoint point = PointOf(frames, ray);
                const RgbImage& face = bordered_[static_cast<std::size_t>(point.face)];
                // Pixel centres of the bordered face lie at i + 0.5, its first row and column the
                // border; the weights between them in 256ths.
                constexpr float kHalf = kFaceSize * 0.5F;
                constexpr float kLast = kFaceSize + 0.999F;
                const float u = std::clamp(point.a * kHalf + (kHalf + 0.5F), 0.0F, kLast);
                const float v = std::clamp((kHalf + 0.5F) - point.b * kHalf, 0.0F, kLast);
                const int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
                // Both fractions are non-negative, so adding a half rounds them; lround would be a
                // library call per pixel.
                const int tx = static_cast<int>((u - x0) * 256.0F + 0.5F),  // NOLINT(bugprone-incorrect-roundings)
                    ty = static_cast<int>((v - y0) * 256.0F + 0.5F);        // NOLINT(bugprone-incorrect-roundings)
                const std::uint8_t* upper = face.Row(y0) + static_cast<std::size_t>(x0) * 3;
                const std::uint8_t* lower = upper + face.RowBytes();
                for (int c = 0; c < 3; ++c) {
                    const int top = upper[c] * (256 - tx) + upper[c + 3] * tx;
                    const int bottom = lower[c] * (256 - tx) + lower[c + 3] * tx;
                    target[c] = static_cast<std::uint8_t>((top * (256 - ty) + bottom * ty + 32768) >> 16);
                }
                for (int i = 0; i < 3; ++i) ray[i] += step[i];
            }
        }
    });
}

void PanoramaLookAround::Render(const ViewAngles& view, const PanoramaView& turn, RgbImage& out) const {
    if (out.Empty() || panorama_.Empty()) return;
    const Camera camera = CameraOf(view);
    const double halfAngle = std::clamp(view.fieldOfView, 1.0, 179.0) * std::numbers::pi / 360.0;
    const double perPixel = std::tan(halfAngle) / (out.width / 2.0);
    constexpr int kBands = 16;
    const int bandRows = (out.height + kBands - 1) / kBands;
    ForEachIndexInParallel(kBands, [&](int band) {
        for (int y = band * bandRows; y < std::min(out.height, (band + 1) * bandRows); ++y) {
            std::uint8_t* target = out.Row(y);
            const double down = ((y + 0.5) - out.height / 2.0) * perPixel;
            for (int x = 0; x < out.width; ++x, target += 3) {
                const double across = ((x + 0.5) - out.width / 2.0) * perPixel;
                const Direction cube{camera.forward[0] - down * camera.up[0] + across * camera.right[0],
                                     camera.forward[1] - down * camera.up[1] + across * camera.right[1],
                                     camera.forward[2] - down * camera.up[2] + across * camera.right[2]};
                const PanoramaPoint point = PanoramaPointOf(PanoramaDirection(cube, turn), kDefaultNorthDegrees);
                // Pixel centres at i + 0.5; columns wrap round, rows stop at the poles.
                const double u = point.longitude / 360.0 * panorama_.width - 0.5;
                const double v =
                    std::clamp((90.0 - point.latitude) / 180.0 * panorama_.height - 0.5, 0.0, panorama_.height - 1.0);
                const int x0 = static_cast<int>(std::floor(u)), y0 = static_cast<int>(v);
                const double tx = u - x0, ty = v - y0;
                const int left = (x0 % panorama_.width + panorama_.width) % panorama_.width;
                const int right = (left + 1) % panorama_.width;
                const int lowerRow = std::min(y0 + 1, panorama_.height - 1);
                const std::uint8_t* upper = panorama_.Row(y0);
                const std::uint8_t* lower = panorama_.Row(lowerRow);
                for (int c = 0; c < 3; ++c) {
                    const double top = upper[left * 3 + c] + tx * (upper[right * 3 + c] - upper[left * 3 + c]);
                    const double bottom = lower[left * 3 + c] + tx * (lower[right * 3 + c] - lower[left * 3 + c]);
                    target[c] = static_cast<std::uint8_t>(std::lround(top + ty * (bottom - top)));
                }
            }
        }
    });
}

}  // namespace zenivor
