#include "conversion/Equirect.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
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
// (FootprintOf): the parallelogram that the pixel's square maps to, sheared toward a side
// face's corners and turned on the sky cap and the ground. It is cut into slices along one of
// the panorama's axes: along a slice, a texel's weight is the kernel integrated over the slice,
// in closed form, and across the parallelogram the slices are summed by Gauss-Legendre
// quadrature (Weigh). A footprint much smaller than a texel thus gives plain Catmull-Rom
// interpolation (enlarging), a larger one the mean of the reconstruction over it (shrinking),
// and everything between without a switch. Catmull-Rom rather than Mitchell-Netravali: it
// interpolates, so enlarged detail keeps its contrast, and it reproduces quadratics; its price
// is an overshoot of at most 2/27 (7.4%) of a step beside a hard edge (Mitchell-Netravali's is
// smaller, but it blurs every enlargement).
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

// Four floats worked on as one: the kernel's four pieces, and the weights a slice adds, a whole
// vector at a time, which keeps those loops vectorised, and checked a vector at a time, in
// every build.
using Four = float __attribute__((vector_size(16)));

// The Catmull-Rom kernel's four pieces at a fraction f in [0, 1), tabulated and read with linear
// interpolation: the filter needs them at a few dozen fractions for every pixel, and reading
// them so took a quarter off the projection's time against evaluating the polynomials. The
// table's error (below 1e-6) is far below a float's share of a grey level.
class KernelTable {
public:
    static constexpr int kSteps = 1024;
    template <typename Of>
    constexpr explicit KernelTable(Of of) {
        // One entry past f = 1, which a fraction rounded up to 1 reads.
        for (int step = 0; step <= kSteps + 1; ++step)
            values_[static_cast<std::size_t>(step)] = of(static_cast<double>(step) / kSteps);
    }
    Four At(double f) const {
        const double x = f * kSteps;
        const int step = static_cast<int>(x);
        const auto w = static_cast<float>(x - step);
        const Four a = values_[static_cast<std::size_t>(step)];
        return a + (values_[static_cast<std::size_t>(step) + 1] - a) * w;
    }

private:
    std::array<Four, kSteps + 2> values_{};
};

// The kernel's integral from minus infinity to f + 1, f, f - 1 and f - 2: its four pieces across
// a segment's end, the texels before them under the kernel whole (1) and those after it not at
// all (0).
constexpr KernelTable kCumulative([](double f) {
    // The integral from 0 to a, over the inner piece (a <= 1) and the outer one (1 <= a <= 2).
    const auto inner = [](double a) { return ((0.375 * a - 5.0 / 6) * a * a + 1) * a; };
    const auto outer = [](double a) { return (((-0.125 * a + 5.0 / 6) * a - 2) * a + 2) * a - 1.0 / 6; };
    return Four{static_cast<float>(0.5 + outer(1 + f)), static_cast<float>(0.5 + inner(f)),
                static_cast<float>(0.5 - inner(1 - f)), static_cast<float>(0.5 - outer(2 - f))};
});

// The kernel at f + 1, f, f - 1 and f - 2.
constexpr KernelTable kAcross([](double f) {
    return Four{static_cast<float>(((-0.5 * f + 1) * f - 0.5) * f), static_cast<float>((1.5 * f - 2.5) * f * f + 1),
                static_cast<float>(((-1.5 * f + 2) * f + 0.5) * f), static_cast<float>((0.5 * f - 0.5) * f * f)};
});

// The weights of the texels a footprint reads, over its bounding box row by row, and their sum.
// The rows are padded to whole vectors of kLanes floats, so that a slice is added in whole
// vectors; a slice is built with kMargin floats to spare on either side, where its ends may
// reach past the box by rounding.
struct FootprintWeights {
    static constexpr int kLanes = sizeof(Four) / sizeof(float);
    static constexpr int kMargin = 8;
    int firstColumn = 0;
    int columns = 0;
    int stride = 0;  // columns, rounded up to whole vectors
    int firstRow = 0;
    int rows = 0;
    std::vector<float> grid;   // rows x stride
    std::vector<float> slice;  // two slices' weights along the row, each with kMargin either side
    double total = 0;
    // Covers the box of columns x rows from (firstColumn, firstRow), with no weight yet.
    void Cover(int fromColumn, int columnCount, int fromRow, int rowCount) {
        firstColumn = fromColumn, columns = columnCount, firstRow = fromRow, rows = rowCount;
        stride = (columns + kLanes - 1) / kLanes * kLanes;
        // The buffers only grow: each pixel covers a box of its own, and sizing them afresh for
        // every one cost a tenth of the projection under the sanitizers.
        const auto cells = static_cast<std::size_t>(rows) * stride;
        if (grid.size() < cells) grid.resize(cells);
        std::fill_n(grid.begin(), cells, 0.0F);
        total = 0;
    }
    float* Row(int y) { return grid.data() + static_cast<std::size_t>(y - firstRow) * stride; }
    const float* Row(int y) const { return grid.data() + static_cast<std::size_t>(y - firstRow) * stride; }
};

// The footprint in a level's texels (texel k centred on k + 0.5): its centre and the steps of
// one face column and one face row, which span it.
struct Parallelogram {
    double u, v;
    double uPerColumn, vPerColumn;
    double uPerRow, vPerRow;
};

// A horizontal slice of the parallelogram, from its left edge to its right one.
struct Section {
    double left, right;
};

struct Corner {
    double u, v;
};

// The parallelogram's horizontal slice at each height: the corners taken from the lowest one
// round, its two edge chains up to the highest, one on either side.
class Chains {
public:
    explicit Chains(const Parallelogram& p) {
        const double cu = p.uPerColumn / 2, cv = p.vPerColumn / 2, ru = p.uPerRow / 2, rv = p.vPerRow / 2;
        const std::array<Corner, 4> corners{{{p.u - cu - ru, p.v - cv - rv},
                                             {p.u + cu - ru, p.v + cv - rv},
                                             {p.u + cu + ru, p.v + cv + rv},
                                             {p.u - cu + ru, p.v - cv + rv}}};
        std::size_t low = 0;
        for (std::size_t k = 1; k < 4; ++k)
            if (corners[k].v < corners[low].v) low = k;
        const Corner bottom = corners[low], top = corners[(low + 2) % 4];
        Corner left = corners[(low + 1) % 4], right = corners[(low + 3) % 4];
        // The left one lies left of the line from the lowest corner to the highest.
        if ((top.u - bottom.u) * (left.v - bottom.v) < (top.v - bottom.v) * (left.u - bottom.u)) std::swap(left, right);
        bottom_ = bottom.v, top_ = top.v;
        left_ = Chain::Of(bottom, left, top), right_ = Chain::Of(bottom, right, top);
    }
    double Bottom() const { return bottom_; }
    double Top() const { return top_; }
    // The heights of the two side corners, lower first.
    std::pair<double, double> Sides() const { return std::minmax(left_.side.v, right_.side.v); }
    Section At(double v) const { return {left_.At(v), right_.At(v)}; }

private:
    // Two edges, from the lowest corner to a side one and on to the highest.
    struct Chain {
        Corner side;
        double lowerSlope, upperSlope;  // u gained per v along each
        static double Slope(Corner from, Corner to) {
            return to.v - from.v > 1e-12 ? (to.u - from.u) / (to.v - from.v) : 0;
        }
        static Chain Of(Corner bottom, Corner side, Corner top) {
            return {side, Slope(bottom, side), Slope(side, top)};
        }
        double At(double v) const { return side.u + (v - side.v) * (v < side.v ? lowerSlope : upperSlope); }
    };

    double bottom_ = 0, top_ = 0;
    Chain left_{}, right_{};
};

// The shares along the row of the reconstruction's integral over the segment [left, right], into
// slice (slice[k] for column firstColumn + k): the kernel's integral up to the right end less
// that up to the left end, so 1 between the ends, four pieces across each, 0 beyond.
void SliceShares(Section s, const FootprintWeights& out, float* slice) {
    const double right = s.right - 0.5, left = s.left - 0.5;
    const auto rightTexel = static_cast<int>(std::floor(right)), leftTexel = static_cast<int>(std::floor(left));
    const Four rightEnd = kCumulative.At(right - rightTexel);
    const Four leftEnd = kCumulative.At(left - leftTexel);
    const int low = -FootprintWeights::kMargin, high = out.stride + FootprintWeights::kMargin;
    for (int i = 0; i < out.stride; i += FootprintWeights::kLanes)
        for (int k = 0; k < FootprintWeights::kLanes; ++k) slice[i + k] = 0;
    const int first = leftTexel - 1 - out.firstColumn, end = rightTexel + 3 - out.firstColumn;
    for (int k = std::max(first, low); k < std::min(end - 4, high); ++k) slice[k] = 1;
    for (int k = 0; k < 4; ++k) {
        if (end - 4 + k >= low && end - 4 + k < high) slice[end - 4 + k] = rightEnd[k];
        if (first + k >= low && first + k < high) slice[first + k] -= leftEnd[k];
    }
}

// The Catmull-Rom kernel at the four rows round v, from the top one down, and the first of them.
struct RowWeights {
    int first;
    Four weights;
};
RowWeights RowsRound(double v) {
    const auto base = static_cast<int>(std::floor(v - 0.5));
    return {base - 1, kAcross.At(v - 0.5 - base)};
}

// Adds the reconstruction's integral over the parallelogram between the heights from and to,
// where the kernel is one piece down the column: by two-point Gauss-Legendre quadrature, whose
// two slices share their four rows.
void AddPiece(double from, double to, const Chains& chains, FootprintWeights& out) {
    constexpr double kGauss = 0.5773502691896258;  // 1 / sqrt(3)
    const double half = (to - from) / 2, middle = from + half;
    float* lower = out.slice.data() + FootprintWeights::kMargin;
    float* upper = lower + out.stride + 2 * FootprintWeights::kMargin;
    const Section first = chains.At(middle - kGauss * half), second = chains.At(middle + kGauss * half);
    SliceShares(first, out, lower);
    SliceShares(second, out, upper);
    // The shares add up to a slice's length, as the kernel's translates add up to one.
    out.total += half * (first.right - first.left + second.right - second.left);
    const RowWeights a = RowsRound(middle - kGauss * half), b = RowsRound(middle + kGauss * half);
    for (int r = 0; r < 4; ++r) {
        const int y = a.first + r;  // the same rows for both: the piece lies within one of the kernel's
        if (y < out.firstRow || y >= out.firstRow + out.rows) continue;
        const auto wa = static_cast<float>(half) * a.weights[r];
        const auto wb = static_cast<float>(half) * b.weights[r];
        float* __restrict row = out.Row(y);
        const float* __restrict sa = lower;
        const float* __restrict sb = upper;
        for (int i = 0; i < out.stride; i += FootprintWeights::kLanes) {
            Four sum, fromLower, fromUpper;
            std::memcpy(&sum, row + i, sizeof sum);
            std::memcpy(&fromLower, sa + i, sizeof fromLower);
            std::memcpy(&fromUpper, sb + i, sizeof fromUpper);
            sum += wa * fromLower + wb * fromUpper;
            std::memcpy(row + i, &sum, sizeof sum);
        }
    }
}

// The weights of the mean of the reconstruction over the parallelogram: its horizontal slices
// integrated down it by two-point Gauss-Legendre quadrature, piece by piece.
void WeighSlices(Parallelogram p, FootprintWeights& out) {
    // Narrower than this along an axis, the footprint is the kernel itself there within float
    // precision; a segment or a point is given this width, so that its slices have a length.
    constexpr double kSmallest = 1e-3;
    if (std::abs(p.uPerColumn) + std::abs(p.uPerRow) < kSmallest) p.uPerColumn = kSmallest;
    if (std::abs(p.vPerColumn) + std::abs(p.vPerRow) < kSmallest) p.vPerRow = kSmallest;
    const double halfWide = (std::abs(p.uPerColumn) + std::abs(p.uPerRow)) / 2;
    const double halfHigh = (std::abs(p.vPerColumn) + std::abs(p.vPerRow)) / 2;
    const auto firstColumn = static_cast<int>(std::ceil(p.u - halfWide - 2.5));
    const auto firstRow = static_cast<int>(std::ceil(p.v - halfHigh - 2.5));
    out.Cover(firstColumn, std::min(static_cast<int>(std::floor(p.u + halfWide + 1.5)) - firstColumn + 1, kMaxTaps),
              firstRow, static_cast<int>(std::floor(p.v + halfHigh + 1.5)) - firstRow + 1);
    const std::size_t sliceSize = 2 * (static_cast<std::size_t>(out.stride) + 2 * FootprintWeights::kMargin);
    if (out.slice.size() < sliceSize) out.slice.resize(sliceSize);
    // The pieces end where the kernel's do, at half-integer heights, and at the side corners,
    // where the slices' ends bend: so that within a piece the integrand is a polynomial.
    const Chains chains(p);
    const auto [lowerSide, upperSide] = chains.Sides();
    for (double from = chains.Bottom(); from < chains.Top();) {
        double to = std::min(std::floor(from - 0.5) + 1.5, chains.Top());
        if (lowerSide > from && lowerSide < to)
            to = lowerSide;
        else if (upperSide > from && upperSide < to)
            to = upperSide;
        AddPiece(from, to, chains, out);
        from = to;
    }
}

// The weights with the rows and columns swapped, from `from` into `to`.
void Transpose(const FootprintWeights& from, FootprintWeights& to) {
    to.Cover(from.firstRow, from.rows, from.firstColumn, from.columns);
    for (int r = 0; r < from.rows; ++r)
        for (int c = 0; c < from.columns; ++c)
            to.grid[static_cast<std::size_t>(c) * to.stride + r] =
                from.grid[static_cast<std::size_t>(r) * from.stride + c];
    to.total = from.total;
}

// The parallelogram sliced along whichever axis one of its edges runs closer to: slices across
// an edge that runs along them have ends that do not bend, so a side face's footprint, whose
// edges down the face stay upright in the panorama, is cut down its columns into the kernel's
// pieces alone.
void Weigh(const Parallelogram& p, FootprintWeights& out, FootprintWeights& transposed) {
    const double alongRows = std::min(std::abs(p.vPerColumn), std::abs(p.vPerRow));
    const double alongColumns = std::min(std::abs(p.uPerColumn), std::abs(p.uPerRow));
    if (alongRows <= alongColumns) {
        WeighSlices(p, out);
        return;
    }
    WeighSlices({p.v, p.u, p.vPerColumn, p.uPerColumn, p.vPerRow, p.uPerRow}, transposed);
    Transpose(transposed, out);
}

// One row's samples under the weights, from `first` on: the columns are consecutive, wrapping
// round from the last to the first.
template <typename Sample>
Bgr RowSum(const Sample* row, int width, int first, const float* weights, int count) {
    Bgr sum;
    int x = first;
    for (int k = 0; k < count;) {
        // The run up to the row's end.
        const int run = std::min(count - k, width - x);
        const Sample* p = row + static_cast<std::size_t>(x) * 3;
        const float* w = weights + k;
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

// The weights applied to a level. Columns wrap round; a row past the top or bottom edge is the
// row mirrored over the pole, half a turn round.
template <typename Sample>
Bgr Filtered(const Level<Sample>& level, const FootprintWeights& weights) {
    const int first = Wrapped(weights.firstColumn, level.width);
    const int mirrored = Wrapped(weights.firstColumn + level.width / 2, level.width);
    Bgr sum;
    for (int j = weights.firstRow; j < weights.firstRow + weights.rows; ++j) {
        int y = j;
        int x = first;
        if (y < 0 || y >= level.height) {
            y = std::clamp(y < 0 ? -1 - y : 2 * level.height - 1 - y, 0, level.height - 1);
            x = mirrored;
        }
        const Bgr row = RowSum(level.Row(y), level.width, x, weights.Row(j), weights.columns);
        sum.b += row.b, sum.g += row.g, sum.r += row.r;
    }
    const auto scale = static_cast<float>(1 / (weights.total * level.unit));
    return {sum.b * scale, sum.g * scale, sum.r * scale};
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
        FootprintWeights weights, transposed;
    };

    // The level to read a footprint from whose narrower spread along the panorama's axes is
    // `narrower` of its pixels, and whose longer extent along them is `longest`.
    static int LevelFor(double narrower, double longest) {
        int level = 0;
        while (narrower >= 2 * kTexelsAcross * (1 << level) || longest / (1 << level) + 5 > kMaxTaps) ++level;
        return level;
    }
    static int LevelFor(const Parallelogram& p) {
        // The spread of the same second moment along each axis.
        const double wide = std::hypot(p.uPerColumn, p.uPerRow), high = std::hypot(p.vPerColumn, p.vPerRow);
        const double longest =
            std::max(std::abs(p.uPerColumn) + std::abs(p.uPerRow), std::abs(p.vPerColumn) + std::abs(p.vPerRow));
        return LevelFor(std::min(wide, high), longest);
    }

    static int LevelsNeeded(const Image& panorama) {
        // The widest footprint lies at a face's centre; the longest reaches round the pole.
        const ImageSize size{panorama.width, panorama.height};
        const Footprint centre = FootprintOf(Face::North, kFaceSize / 2.0, kFaceSize / 2.0, size);
        return std::max(LevelFor(std::min(std::abs(centre.uPerColumn), std::abs(centre.vPerRow)), 0),
                        LevelFor(0, panorama.width)) +
               1;
    }

    Bgr Pixel(Face face, int column, int row, Scratch& scratch) const {
        const ImageSize size{panorama_.width, panorama_.height};
        const Mapped mapped = MappingAt(face, column + 0.5, row + 0.5, size, turn_);
        const PanoramaPoint point = PanoramaPointOf(mapped.direction, north_);
        const Footprint& f = mapped.footprint;
        // Round the pole a footprint may reach further round than the panorama is wide: no further.
        const double across = std::abs(f.uPerColumn) + std::abs(f.uPerRow);
        const double narrowed = across > size.width ? size.width / across : 1.0;
        const Parallelogram footprint{.u = point.longitude / 360.0 * size.width,
                                      .v = (90.0 - point.latitude) / 180.0 * size.height,
                                      .uPerColumn = f.uPerColumn * narrowed,
                                      .vPerColumn = f.vPerColumn,
                                      .uPerRow = f.uPerRow * narrowed,
                                      .vPerRow = f.vPerRow};
        const int level = std::min(LevelFor(footprint), pyramid_.Count() - 1);
        const double texel = 1 << level;
        Weigh({footprint.u / texel, footprint.v / texel, footprint.uPerColumn / texel, footprint.vPerColumn / texel,
               footprint.uPerRow / texel, footprint.vPerRow / texel},
              scratch.weights, scratch.transposed);
        return level == 0 ? Filtered(pyramid_.Base(), scratch.weights)
                          : Filtered(pyramid_.Halved(level), scratch.weights);
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
