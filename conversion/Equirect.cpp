#include "conversion/Equirect.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "imaging/Resample.h"
#include "util/Parallel.h"

namespace zenivor {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
// A face pixel's arc, in radians, at the face's centre.
constexpr double kCentreArc = 2.0 / kFaceSize;

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
            // Whole pairs of columns; an odd last column (or a 1-wide image) pairs with itself.
            const int pairs = image.width / 2;
            for (int i = 0; i < pairs * 3; i += 3) {
                const int left = 2 * (i / 3) * 3;
                for (int c = 0; c < 3; ++c)
                    out[i + c] = static_cast<std::uint8_t>(
                        (upper[left + c] + upper[left + 3 + c] + lower[left + c] + lower[left + 3 + c] + 2) / 4);
            }
            if (pairs == 0)
                for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>((upper[c] + lower[c] + 1) / 2);
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

// Column x of a level, wrapped round: x lies within one turn of the image.
int Wrapped(int x, int width) {
    if (x < 0) x += width;
    if (x >= width) x -= width;
    return std::clamp(x, 0, width - 1);
}

// Row y's pixels at columns x and x + 1. Past the top or bottom edge the sphere goes on over
// the pole, on the other side (half a turn round).
std::pair<const std::uint8_t*, const std::uint8_t*> TexelPair(const RgbImage& level, int x, int y) {
    if (y < 0 || y >= level.height) {
        y = std::clamp(y < 0 ? -1 - y : 2 * level.height - 1 - y, 0, level.height - 1);
        x = Wrapped(x, level.width) + level.width / 2;
    }
    const std::uint8_t* row = level.Row(y);
    const int left = Wrapped(x, level.width);
    const int right = left + 1 == level.width ? 0 : left + 1;
    return {row + static_cast<std::size_t>(left) * 3, row + static_cast<std::size_t>(right) * 3};
}

Colour Bilinear(const RgbImage& level, double u, double v) {
    const double fx = u - 0.5;
    const double fy = v - 0.5;
    const int x = static_cast<int>(std::floor(fx));
    const int y = static_cast<int>(std::floor(fy));
    const auto tx = static_cast<float>(fx - x);
    const auto ty = static_cast<float>(fy - y);
    const auto [upperLeft, upperRight] = TexelPair(level, x, y);
    const auto [lowerLeft, lowerRight] = TexelPair(level, x, y + 1);
    Colour colour;
    colour.Add(upperLeft, (1 - tx) * (1 - ty));
    colour.Add(upperRight, tx * (1 - ty));
    colour.Add(lowerLeft, (1 - tx) * ty);
    colour.Add(lowerRight, tx * ty);
    return colour;
}

// The mean over a footprint `across` level-0 pixels wide, centred on the point, read from one
// level in `reads` bilinear reads spread evenly along the row.
Colour AlongRow(const RgbImage& level, double baseWidth, PanoramaPoint point, double across, int reads) {
    const double scale = level.width / baseWidth;
    const double u = point.longitude / 360.0 * level.width;
    const double v = (90.0 - point.latitude) / 180.0 * level.height;
    if (reads <= 1) return Bilinear(level, u, v);
    const double width = std::min(across * scale, static_cast<double>(level.width));
    reads = std::min(reads, level.width);
    Colour mean;
    for (int k = 0; k < reads; ++k) mean.Add(Bilinear(level, u + ((k + 0.5) / reads - 0.5) * width, v), 1.0F / reads);
    return mean;
}

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

    static int LevelsNeeded(const RgbImage& panorama) {
        const double widest = kCentreArc * RowsPerRadian(panorama);
        return static_cast<int>(std::ceil(std::log2(std::max(widest, 1.0)))) + 2;
    }

    // The pixel averaged over its footprint: its arc in panorama rows down, and wider along the
    // row by 1 / cos(latitude), blended between the two levels nearest to its size.
    Colour Pixel(Face face, int column, int row) const {
        const double a = (column + 0.5) * 2.0 / kFaceSize - 1.0;
        const double b = 1.0 - (row + 0.5) * 2.0 / kFaceSize;
        const Direction direction = FaceDirection(face, column + 0.5, row + 0.5);
        const PanoramaPoint point = PanoramaPointOf(direction, north_);
        const double distance = std::sqrt(1.0 + a * a + b * b);
        const double cosLatitude = std::hypot(direction.x, direction.y) / distance;
        const double down = kCentreArc / distance * RowsPerRadian(panorama_);
        const double across = std::min(down / std::max(cosLatitude, 1e-9), static_cast<double>(panorama_.width));
        // As many reads along the row as the footprint is wider than high (near the poles).
        const int reads = static_cast<int>(std::min(std::round(across / std::max(down, 1.0)), 1e6));
        const double level = std::log2(std::max(down, 1.0));
        const int lower = std::min(static_cast<int>(level), pyramid_.Count() - 1);
        const auto upperWeight = lower + 1 < pyramid_.Count() ? static_cast<float>(level - lower) : 0.0F;
        Colour colour = AlongRow(pyramid_.Level(lower), panorama_.width, point, across, reads);
        if (upperWeight <= 0) return colour;
        Colour blended;
        blended.Add(colour, 1 - upperWeight);
        blended.Add(AlongRow(pyramid_.Level(lower + 1), panorama_.width, point, across, reads), upperWeight);
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

int UnneededResolutionFactor(ImageSize panorama) {
    // A face pixel's arc is smallest in the corners, by sqrt(3) against the centre.
    const double smallest = kCentreArc / std::sqrt(3.0) * panorama.height / std::numbers::pi;
    int factor = 1;
    while (2 * factor <= smallest) factor *= 2;
    return factor;
}

std::array<RgbImage, 6> ProjectPanorama(const RgbImage& panorama, double northDegrees) {
    const Projection projection(panorama, northDegrees);
    std::array<RgbImage, 6> faces;
    for (RgbImage& face : faces) face = RgbImage::Unfilled(kFaceSize, kFaceSize);
    // Bands of rows, so that every core stays busy to the end.
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
