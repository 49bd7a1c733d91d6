#include "conversion/Equirect.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <numbers>
#include <type_traits>
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

// The filter. Each face pixel is the mean, over its own footprint on the panorama, of the
// panorama's Catmull-Rom reconstruction. The footprint comes from the mapping's derivatives
// (FootprintOf): a parallelogram, taken along each of the panorama's axes as the box of the same
// spread (the same second moment), so the weights are separable: along an axis, a texel's
// weight is the Catmull-Rom kernel integrated over the box, in closed form. A footprint much
// smaller than a texel thus gives plain Catmull-Rom interpolation (enlarging), a larger one
// the exact mean of the reconstruction over it (shrinking), and everything between without a
// switch. Catmull-Rom rather than Mitchell-Netravali: it interpolates, so enlarged detail keeps
// its contrast, and it reproduces quadratics; its price is an overshoot of at most 2/27 (7.4%) of a
// step beside a hard edge (Mitchell-Netravali's is smaller, but it blurs every enlargement).
//
// A footprint many texels across is read from a halving instead of the panorama: from the
// coarsest level that still has kTexelsAcross texels across the footprint's narrower side, so
// a pixel reads a few dozen texels whatever the panorama's size, while the halving's own
// blur stays small beside the footprint's.
constexpr double kTexelsAcross = 3.0;
// At most this many texels along either axis: only footprints at the very poles, which span a
// large part of the row, go coarser for it.
constexpr int kMaxTaps = 4096;

// One level of the pyramid: width x height pixels of three samples each, in the panorama's
// order (blue, green, red), `unit` samples to a grey level. The filter reads any sample type,
// so that a level may as well hold floating-point or linear values.
template <typename Sample>
struct Level {
    const Sample* samples = nullptr;
    int width = 0;
    int height = 0;
    float unit = 1;
    const Sample* Row(int y) const { return samples + static_cast<std::size_t>(y) * width * 3; }
};

// The halvings above the panorama, in 16 bits of 1/256 of a grey level: the mean of a level's
// 2 x 2 pixels is exact as far as four halvings (where a pixel is the mean of 256 of the
// panorama's) and rounds to the nearest 1/256 past that, so nothing drifts brighter and a
// constant panorama stays exactly its value at every level. Level k's pixel x covers the panorama's columns
// [x * 2^k, (x + 1) * 2^k); an odd last column or row is a mean of what there is. A panorama in
// linear light (LinearImage) halves in floats, its means exact as floats are.
template <typename Image>
class Pyramid {
public:
    static constexpr bool kLinear = std::is_same_v<Image, LinearImage>;
    using Sample = std::conditional_t<kLinear, float, std::uint8_t>;
    using Halving = std::conditional_t<kLinear, float, std::uint16_t>;
    static constexpr float kHalvingUnit = kLinear ? 1 : 256;

    Pyramid(const Image& base, int levels) : base_(base) {
        for (int level = 1; level < levels && Size(level - 1).height > 1; ++level) {
            const ImageSize size = Size(level - 1);
            halvings_.emplace_back(static_cast<std::size_t>((size.width + 1) / 2) * ((size.height + 1) / 2) * 3);
            if (level == 1)
                Halve(BaseSamples(), size, static_cast<Halving>(kHalvingUnit), halvings_.back().data());
            else
                Halve(halvings_[level - 2].data(), size, Halving{1}, halvings_.back().data());
        }
    }
    int Count() const { return static_cast<int>(halvings_.size()) + 1; }
    Level<Sample> Base() const { return {BaseSamples(), base_.width, base_.height, 1}; }
    Level<Halving> Halved(int level) const {
        const ImageSize size = Size(level);
        return {halvings_[level - 1].data(), size.width, size.height, kHalvingUnit};
    }

private:
    const Sample* BaseSamples() const {
        if constexpr (kLinear)
            return base_.samples.data();
        else
            return base_.pixels.data();
    }

    ImageSize Size(int level) const {
        ImageSize size{base_.width, base_.height};
        for (int k = 0; k < level; ++k) size = {(size.width + 1) / 2, (size.height + 1) / 2};
        return size;
    }

    // Each output sample is the sum of the 2 x 2 below it times `scale`, divided by four and
    // rounded to nearest; a missing last column or row repeats the one before.
    template <typename Sample>
    static void Halve(const Sample* below, ImageSize size, Halving scale, Halving* out) {
        const int width = (size.width + 1) / 2;
        const std::size_t rowSamples = static_cast<std::size_t>(size.width) * 3;
        ForEachIndexInParallel((size.height + 1) / 2, [&](int y) {
            const Sample* upper = below + static_cast<std::size_t>(2 * y) * rowSamples;
            const Sample* lower = 2 * y + 1 < size.height ? upper + rowSamples : upper;
            Halving* target = out + static_cast<std::size_t>(y) * width * 3;
            for (int x = 0; x < width; ++x) {
                const int left = 2 * x * 3;
                const int right = 2 * x + 1 < size.width ? left + 3 : left;
                for (int c = 0; c < 3; ++c) {
                    if constexpr (kLinear) {
                        *target++ = (upper[left + c] + upper[right + c] + lower[left + c] + lower[right + c]) * 0.25F;
                    } else {
                        const std::uint32_t sum =
                            std::uint32_t{upper[left + c]} + upper[right + c] + lower[left + c] + lower[right + c];
                        *target++ = static_cast<Halving>((sum * scale + 2) / 4);
                    }
                }
            }
        });
    }

    const Image& base_;
    std::vector<std::vector<Halving, UninitialisedAllocator<Halving>>> halvings_;  // written whole by Halve
};

// A colour in the panorama's byte order.
struct Bgr {
    float b = 0, g = 0, r = 0;
};

// The integral of the Catmull-Rom kernel from 0 to t (odd in t; 1/2 at |t| >= 2). Without
// branches, so that a row of weights is computed together.
// Inlined, so that the loop over a row of weights is vectorised.
inline __attribute__((always_inline)) double CatmullRomIntegral(double t) {
    const double a = std::min(std::abs(t), 2.0);
    const double inner = std::min(a, 1.0);
    const double outer = std::max(a, 1.0);
    // The pieces over [0, 1] and [1, 2]; the second is 0.708333 at 1.
    const double integral = ((0.375 * inner - 5.0 / 6) * inner * inner + 1) * inner +
                            (((-0.125 * outer + 5.0 / 6) * outer - 2) * outer + 2) * outer - 17.0 / 24;
    return std::copysign(integral, t);
}

double CatmullRom(double t) {
    const double a = std::abs(t);
    if (a < 1) return (1.5 * a - 2.5) * a * a + 1;
    if (a < 2) return ((-0.5 * a + 2.5) * a - 4) * a + 2;
    return 0;
}

// The texels along one axis of a level that a footprint reads, and their weights (summing to
// one): the kernel integrated over the box `half` texels either side of `centre` (in texel
// units, texel k centred on k + 0.5).
struct Taps {
    int first = 0;
    int count = 0;
    std::array<float, kMaxTaps> weights;
};

void Weigh(double centre, double half, Taps& taps) {
    taps.first = static_cast<int>(std::ceil(centre - half - 2.5));
    taps.count = std::min(static_cast<int>(std::floor(centre + half + 1.5)) - taps.first + 1, kMaxTaps);
    const double offset = taps.first + 0.5 - centre;
    // A box narrower than this gives the kernel itself, within float precision.
    if (half < 1e-4) {
        for (int k = 0; k < taps.count; ++k)
            taps.weights[static_cast<std::size_t>(k)] = static_cast<float>(CatmullRom(offset + k));
    } else {
        const double scale = 1 / (2 * half);
        for (int k = 0; k < taps.count; ++k)
            taps.weights[static_cast<std::size_t>(k)] = static_cast<float>(
                (CatmullRomIntegral(offset + k + half) - CatmullRomIntegral(offset + k - half)) * scale);
    }
    float sum = 0;
    for (int k = 0; k < taps.count; ++k) sum += taps.weights[static_cast<std::size_t>(k)];
    for (int k = 0; k < taps.count; ++k) taps.weights[static_cast<std::size_t>(k)] /= sum;
}

// One row's samples under the weights, from `first` on: the columns are consecutive, wrapping
// round from the last to the first.
template <typename Sample>
Bgr RowSum(const Sample* row, int width, int first, const Taps& across) {
    Bgr sum;
    int x = first;
    for (int k = 0; k < across.count;) {
        // The run up to the row's end.
        const int run = std::min(across.count - k, width - x);
        const Sample* p = row + static_cast<std::size_t>(x) * 3;
        const float* w = across.weights.data() + k;
        for (int i = 0; i < run; ++i, p += 3) {
            sum.b += w[i] * static_cast<float>(p[0]);
            sum.g += w[i] * static_cast<float>(p[1]);
            sum.r += w[i] * static_cast<float>(p[2]);
        }
        k += run;
        x = 0;
    }
    return sum;
}

int Wrapped(int x, int width) {
    x %= width;
    return x < 0 ? x + width : x;
}

// The separable weights applied to a level. Columns wrap round; a row past the top or bottom
// edge is the row mirrored over the pole, half a turn round.
template <typename Sample>
Bgr Filtered(const Level<Sample>& level, const Taps& across, const Taps& down) {
    const int first = Wrapped(across.first, level.width);
    const int mirrored = Wrapped(across.first + level.width / 2, level.width);
    Bgr sum;
    for (int j = 0; j < down.count; ++j) {
        int y = down.first + j;
        int x = first;
        if (y < 0 || y >= level.height) {
            y = std::clamp(y < 0 ? -1 - y : 2 * level.height - 1 - y, 0, level.height - 1);
            x = mirrored;
        }
        const Bgr row = RowSum(level.Row(y), level.width, x, across);
        const float w = down.weights[static_cast<std::size_t>(j)] / level.unit;
        sum.b += w * row.b, sum.g += w * row.g, sum.r += w * row.r;
    }
    return sum;
}

// The direction through a face point and the derivatives of the panorama's pixel coordinates
// there, per face column and row.
struct Mapped {
    Direction direction;
    Footprint footprint;
};

// The cube's directions turned into the panorama's, by pitch and roll (North's longitude is
// added to the longitude itself).
struct Rotation {
    std::array<std::array<double, 3>, 3> m{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

    static Rotation Of(const PanoramaView& view) {
        const double p = view.pitch / kDegrees, r = view.roll / kDegrees;
        const double cp = std::cos(p), sp = std::sin(p), cr = std::cos(r), sr = std::sin(r);
        // Pitch about y (x toward z) after roll about x (y toward -z).
        return {{{{cp, -sp * -sr, -sp * cr}, {0, cr, sr}, {sp, cp * -sr, cp * cr}}}};
    }
    Direction operator()(const Direction& d) const {
        return {m[0][0] * d.x + m[0][1] * d.y + m[0][2] * d.z, m[1][0] * d.x + m[1][1] * d.y + m[1][2] * d.z,
                m[2][0] * d.x + m[2][1] * d.y + m[2][2] * d.z};
    }
};

Mapped MappingAt(Face face, double column, double row, ImageSize panorama, const Rotation& turn = {}) {
    const FaceBasis& basis = kBases[static_cast<std::size_t>(face)];
    const Direction d = turn(FaceDirection(face, column, row));
    const double step = 2.0 / kFaceSize;
    const Direction perColumn = turn({basis.right.x * step, basis.right.y * step, basis.right.z * step});
    const Direction perRow = turn({-basis.up.x * step, -basis.up.y * step, -basis.up.z * step});
    const double horizontal = std::max(d.x * d.x + d.y * d.y, 1e-300);
    const double rho = std::sqrt(horizontal);
    const double squared = horizontal + d.z * d.z;
    const double uPerRadian = panorama.width / (2 * std::numbers::pi);
    const double vPerRadian = panorama.height / std::numbers::pi;
    // d(longitude) = (x dy - y dx) / rho^2; d(latitude) = (rho^2 dz - z (x dx + y dy)) / (rho |d|^2).
    const auto u = [&](const Direction& s) { return (d.x * s.y - d.y * s.x) / horizontal * uPerRadian; };
    const auto v = [&](const Direction& s) {
        return -(horizontal * s.z - d.z * (d.x * s.x + d.y * s.y)) / (rho * squared) * vPerRadian;
    };
    return {d, {u(perColumn), v(perColumn), u(perRow), v(perRow)}};
}

// Projects a panorama of bytes into faces of bytes, or one in linear light into faces in
// linear light (Image: RgbImage or LinearImage).
template <typename Image>
class Projection {
public:
    Projection(const Image& panorama, const PanoramaView& view)
        : panorama_(panorama),
          north_(view.north),
          turn_(Rotation::Of(view)),
          pyramid_(panorama, LevelsNeeded(panorama)) {}

    void Rows(Face face, int firstRow, int endRow, Image& out) const {
        Scratch scratch;
        for (int row = firstRow; row < endRow; ++row) {
            auto* target = out.Row(row);
            for (int column = 0; column < kFaceSize; ++column, target += 3) {
                const Bgr colour = Pixel(face, column, row, scratch);
                if constexpr (Pyramid<Image>::kLinear)
                    target[0] = colour.b, target[1] = colour.g, target[2] = colour.r;
                else
                    target[0] = Rounded(colour.b), target[1] = Rounded(colour.g), target[2] = Rounded(colour.r);
            }
        }
    }

private:
    struct Scratch {
        Taps across, down;
    };

    // The level to read a footprint wide x high (in the panorama's pixels) from.
    static int LevelFor(double wide, double high) {
        int level = 0;
        const double narrower = std::min(wide, high);
        while (narrower >= 2 * kTexelsAcross * (1 << level) || std::max(wide, high) / (1 << level) + 5 > kMaxTaps)
            ++level;
        return level;
    }

    static int LevelsNeeded(const Image& panorama) {
        // The widest footprint lies at a face's centre; the longest reaches round the pole.
        const ImageSize size{panorama.width, panorama.height};
        const Footprint centre = FootprintOf(Face::North, kFaceSize / 2.0, kFaceSize / 2.0, size);
        return std::max(LevelFor(std::abs(centre.uPerColumn), std::abs(centre.vPerRow)), LevelFor(panorama.width, 0)) +
               1;
    }

    Bgr Pixel(Face face, int column, int row, Scratch& scratch) const {
        const ImageSize size{panorama_.width, panorama_.height};
        const Mapped mapped = MappingAt(face, column + 0.5, row + 0.5, size, turn_);
        const PanoramaPoint point = PanoramaPointOf(mapped.direction, north_);
        const Footprint& f = mapped.footprint;
        // The box of the same spread as the parallelogram, along each axis.
        const double wide =
            std::min(std::sqrt(f.uPerColumn * f.uPerColumn + f.uPerRow * f.uPerRow), static_cast<double>(size.width));
        const double high =
            std::min(std::sqrt(f.vPerColumn * f.vPerColumn + f.vPerRow * f.vPerRow), static_cast<double>(size.height));
        const int level = std::min(LevelFor(wide, high), pyramid_.Count() - 1);
        const double texel = 1 << level;
        Weigh(point.longitude / 360.0 * size.width / texel, wide / 2 / texel, scratch.across);
        Weigh((90.0 - point.latitude) / 180.0 * size.height / texel, high / 2 / texel, scratch.down);
        return level == 0 ? Filtered(pyramid_.Base(), scratch.across, scratch.down)
                          : Filtered(pyramid_.Halved(level), scratch.across, scratch.down);
    }

    const Image& panorama_;
    double north_;
    Rotation turn_;
    Pyramid<Image> pyramid_;
};

template <typename Image>
std::array<Image, 6> Projected(const Image& panorama, const PanoramaView& view,
                               const std::function<void(double)>& progress) {
    const Projection<Image> projection(panorama, view);
    std::array<Image, 6> faces;
    for (Image& face : faces) {
        if constexpr (Pyramid<Image>::kLinear)
            face = LinearImage::Sized(kFaceSize, kFaceSize, panorama.light);
        else
            face = RgbImage::Unfilled(kFaceSize, kFaceSize);
    }
    // Bands of rows, so that every core stays busy to the end.
    constexpr int kBands = 12;
    constexpr int kBandRows = (kFaceSize + kBands - 1) / kBands;
    std::atomic<int> done{0};
    ForEachIndexInParallel(6 * kBands, [&](int task) {
        const int face = task / kBands;
        const int first = (task % kBands) * kBandRows;
        projection.Rows(kAllFaces[face], first, std::min(first + kBandRows, kFaceSize), faces[face]);
        if (progress) progress(static_cast<double>(++done) / (6 * kBands));
    });
    return faces;
}

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

Footprint FootprintOf(Face face, double column, double row, ImageSize panorama) {
    return MappingAt(face, column, row, panorama).footprint;
}

int UnneededResolutionFactor(ImageSize panorama) {
    // A face pixel's arc is smallest in the corners, by sqrt(3) against the centre.
    const double smallest = kCentreArc / std::sqrt(3.0) * panorama.height / std::numbers::pi;
    int factor = 1;
    while (2 * factor <= smallest) factor *= 2;
    return factor;
}

Direction PanoramaDirection(const Direction& cube, const PanoramaView& view) {
    const Direction turned = Rotation::Of(view)(cube);
    const double yaw = (view.north - kDefaultNorthDegrees) / kDegrees;
    return {turned.x * std::cos(yaw) - turned.y * std::sin(yaw), turned.x * std::sin(yaw) + turned.y * std::cos(yaw),
            turned.z};
}

std::array<RgbImage, 6> ProjectPanorama(const RgbImage& panorama, const PanoramaView& view,
                                        const std::function<void(double)>& progress) {
    return Projected(panorama, view, progress);
}

std::array<LinearImage, 6> ProjectLinearPanorama(const LinearImage& panorama, const PanoramaView& view,
                                                 const std::function<void(double)>& progress) {
    return Projected(panorama, view, progress);
}

}  // namespace zenivor
