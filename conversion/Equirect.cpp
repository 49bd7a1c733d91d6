#include "conversion/Equirect.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "util/Parallel.h"

namespace zenivor {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;

// A face's view: direction = forward + a * right + b * up for a, b in [-1, 1], a to the right
// and b upward on the face as seen from inside.
struct FaceBasis {
    Direction forward;
    Direction right;
    Direction up;
};

// Looking up, North is at the cap's bottom; looking down, North is at the ground's top: so the
// cap's and the ground's edges continue the side faces' top and bottom rows.
constexpr std::array<FaceBasis, 6> kBases{{
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},    // North
    {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},   // West, 90 degrees to North's left
    {{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}},  // South
    {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},   // East
    {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}},   // sky cap
    {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},   // ground
}};

// The panorama and its halvings, each level half the size of the one before, so that a face
// pixel covering many panorama pixels reads few.
class Pyramid {
public:
    Pyramid(const RgbImage& base, int levels) : base_(base) {
        for (int level = 1; level < levels && Level(level - 1).height > 1; ++level)
            halvings_.push_back(Halved(Level(level - 1)));
    }
    int Count() const { return static_cast<int>(halvings_.size()) + 1; }
    const RgbImage& Level(int level) const { return level == 0 ? base_ : halvings_[level - 1]; }

private:
    static RgbImage Halved(const RgbImage& image) {
        RgbImage half = RgbImage::Unfilled(std::max(1, image.width / 2), std::max(1, image.height / 2));
        ForEachIndexInParallel(half.height, [&](int y) {
            const std::uint8_t* upper = image.Row(std::min(2 * y, image.height - 1));
            const std::uint8_t* lower = image.Row(std::min(2 * y + 1, image.height - 1));
            std::uint8_t* out = half.Row(y);
            for (int x = 0; x < half.width; ++x) {
                const std::size_t left = static_cast<std::size_t>(std::min(2 * x, image.width - 1)) * 3;
                const std::size_t right = static_cast<std::size_t>(std::min(2 * x + 1, image.width - 1)) * 3;
                for (std::size_t c = 0; c < 3; ++c)
                    out[x * 3 + c] = static_cast<std::uint8_t>(
                        (upper[left + c] + upper[right + c] + lower[left + c] + lower[right + c] + 2) / 4);
            }
        });
        return half;
    }

    const RgbImage& base_;
    std::vector<RgbImage> halvings_;
};

struct Colour {
    float r = 0, g = 0, b = 0;
    void Add(const std::uint8_t* p, float weight) {
        r += weight * p[0];
        g += weight * p[1];
        b += weight * p[2];
    }
    void Add(const Colour& other, float weight) {
        r += weight * other.r;
        g += weight * other.g;
        b += weight * other.b;
    }
};

// A pixel of one level; past the top or bottom edge the sphere goes on over the pole, on the
// other side (half a turn round), and across the left and right edges it wraps.
const std::uint8_t* Texel(const RgbImage& level, int x, int y) {
    if (y < 0 || y >= level.height) {
        y = y < 0 ? -1 - y : 2 * level.height - 1 - y;
        y = std::clamp(y, 0, level.height - 1);
        x += level.width / 2;
    }
    x %= level.width;
    if (x < 0) x += level.width;
    return level.Row(y) + static_cast<std::size_t>(x) * 3;
}

Colour Bilinear(const RgbImage& level, double u, double v) {
    const double fx = u - 0.5;
    const double fy = v - 0.5;
    const int x = static_cast<int>(std::floor(fx));
    const int y = static_cast<int>(std::floor(fy));
    const auto tx = static_cast<float>(fx - x);
    const auto ty = static_cast<float>(fy - y);
    Colour colour;
    colour.Add(Texel(level, x, y), (1 - tx) * (1 - ty));
    colour.Add(Texel(level, x + 1, y), tx * (1 - ty));
    colour.Add(Texel(level, x, y + 1), (1 - tx) * ty);
    colour.Add(Texel(level, x + 1, y + 1), tx * ty);
    return colour;
}

// The mean over a footprint `across` level-0 pixels wide, centred on the point, read from one
// level: as many bilinear reads along the row as the footprint is wide there.
Colour AlongRow(const RgbImage& level, double baseWidth, PanoramaPoint point, double across) {
    const double scale = level.width / baseWidth;
    const double u = point.longitude / 360.0 * level.width;
    const double v = (90.0 - point.latitude) / 180.0 * level.height;
    const double width = std::min(across * scale, static_cast<double>(level.width));
    const int reads = std::clamp(static_cast<int>(std::ceil(width)), 1, level.width);
    Colour mean;
    for (int k = 0; k < reads; ++k) mean.Add(Bilinear(level, u + ((k + 0.5) / reads - 0.5) * width, v), 1.0F / reads);
    return mean;
}

std::uint8_t Rounded(float value) { return static_cast<std::uint8_t>(std::clamp(value + 0.5F, 0.0F, 255.0F)); }

class Projection {
public:
    Projection(const RgbImage& panorama, double northDegrees)
        : panorama_(panorama), north_(northDegrees), pyramid_(panorama, LevelsNeeded(panorama)) {}

    void Rows(Face face, int firstRow, int endRow, RgbImage& out) const {
        for (int row = firstRow; row < endRow; ++row) {
            std::uint8_t* target = out.Row(row);
            for (int column = 0; column < kFaceSize; ++column, target += 3) {
                const Colour colour = Pixel(face, column, row);
                target[0] = Rounded(colour.r), target[1] = Rounded(colour.g), target[2] = Rounded(colour.b);
            }
        }
    }

private:
    // Panorama rows per radian of arc, and a face pixel's arc at the face's centre.
    static double RowsPerRadian(const RgbImage& panorama) { return panorama.height / std::numbers::pi; }
    static constexpr double kCentreArc = 2.0 / kFaceSize;

    static int LevelsNeeded(const RgbImage& panorama) {
        const double widest = kCentreArc * RowsPerRadian(panorama);
        return static_cast<int>(std::ceil(std::log2(std::max(widest, 1.0)))) + 2;
    }

    // The pixel averaged over its footprint: its arc in panorama rows down, and wider along the
    // row by 1 / cos(latitude), blended between the two levels nearest to its size.
    Colour Pixel(Face face, int column, int row) const {
        const double a = (column + 0.5) * 2.0 / kFaceSize - 1.0;
        const double b = 1.0 - (row + 0.5) * 2.0 / kFaceSize;
        const PanoramaPoint point = PanoramaPointOf(FaceDirection(face, column + 0.5, row + 0.5), north_);
        const double down = kCentreArc / std::sqrt(1.0 + a * a + b * b) * RowsPerRadian(panorama_);
        const double across =
            std::min(down / std::max(std::cos(point.latitude / kDegrees), 1e-9), static_cast<double>(panorama_.width));
        const double level = std::log2(std::max(down, 1.0));
        const int lower = std::min(static_cast<int>(level), pyramid_.Count() - 1);
        const auto upperWeight = lower + 1 < pyramid_.Count() ? static_cast<float>(level - lower) : 0.0F;
        Colour colour = AlongRow(pyramid_.Level(lower), panorama_.width, point, across);
        if (upperWeight <= 0) return colour;
        Colour blended;
        blended.Add(colour, 1 - upperWeight);
        blended.Add(AlongRow(pyramid_.Level(lower + 1), panorama_.width, point, across), upperWeight);
        return blended;
    }

    const RgbImage& panorama_;
    double north_;
    Pyramid pyramid_;
};

}  // namespace

Direction FaceDirection(Face face, double column, double row) {
    const double a = column * 2.0 / kFaceSize - 1.0;
    const double b = 1.0 - row * 2.0 / kFaceSize;
    const FaceBasis& basis = kBases[static_cast<std::size_t>(face)];
    return {basis.forward.x + a * basis.right.x + b * basis.up.x, basis.forward.y + a * basis.right.y + b * basis.up.y,
            basis.forward.z + a * basis.right.z + b * basis.up.z};
}

PanoramaPoint PanoramaPointOf(const Direction& direction, double northDegrees) {
    double longitude = std::fmod(northDegrees + std::atan2(direction.y, direction.x) * kDegrees, 360.0);
    if (longitude < 0) longitude += 360.0;
    const double latitude = std::atan2(direction.z, std::hypot(direction.x, direction.y)) * kDegrees;
    return {longitude, latitude};
}

bool IsEquirectangular(int width, int height) { return height > 0 && width == 2 * height; }

std::array<RgbImage, 6> ProjectPanorama(const RgbImage& panorama, double northDegrees) {
    const Projection projection(panorama, northDegrees);
    std::array<RgbImage, 6> faces;
    for (RgbImage& face : faces) face = RgbImage::Unfilled(kFaceSize, kFaceSize);
    // Bands of rows, so that both cores stay busy to the end.
    constexpr int kBands = 12;
    constexpr int kBandRows = (kFaceSize + kBands - 1) / kBands;
    ForEachIndexInParallel(6 * kBands, [&](int task) {
        const int face = task / kBands;
        const int first = (task % kBands) * kBandRows;
        projection.Rows(kAllFaces[face], first, std::min(first + kBandRows, kFaceSize), faces[face]);
    });
    return faces;
}

}  // namespace zenivor
