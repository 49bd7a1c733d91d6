// 360-degree panoramas onto the cube: the geometry of every face, the joins along the cube's
// twelve edges, and pixels that land where the geometry puts them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "conversion/Equirect.h"
#include "conversion/ProcessPanorama.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr double kSize = kFaceSize;

Direction Unit(Direction d) {
    const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return {d.x / length, d.y / length, d.z / length};
}

double AngleBetween(Direction a, Direction b) {
    a = Unit(a), b = Unit(b);
    const double cross = std::hypot(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
    return std::atan2(cross, a.x * b.x + a.y * b.y + a.z * b.z);
}

// Signed difference of two longitudes, in (-180, 180].
double LongitudeDifference(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180) d -= 360;
    if (d <= -180) d += 360;
    return d;
}

// A point on a face's edge at t (0 to 504) along it, in the face's pixel coordinates.
struct EdgePoint {
    Face face;
    double Column(double t) const { return columnAt0 + columnPerT * t; }
    double Row(double t) const { return rowAt0 + rowPerT * t; }
    double columnAt0, columnPerT, rowAt0, rowPerT;
};
EdgePoint Top(Face f) { return {f, 0, 1, 0, 0}; }
EdgePoint Bottom(Face f) { return {f, 0, 1, kSize, 0}; }
EdgePoint Left(Face f) { return {f, 0, 0, 0, 1}; }
EdgePoint Right(Face f) { return {f, kSize, 0, 0, 1}; }
EdgePoint Reversed(EdgePoint e) {
    return {e.face, e.columnAt0 + e.columnPerT * kSize, -e.columnPerT, e.rowAt0 + e.rowPerT * kSize, -e.rowPerT};
}

// The cube's twelve edges as the cap's and the ground's orientation promises them: looking up
// with North at the bottom, and down with North at the top.
const struct {
    const char* name;
    EdgePoint a, b;
} kEdges[] = {
    {"North-East", Right(Face::North), Left(Face::East)},
    {"East-South", Right(Face::East), Left(Face::South)},
    {"South-West", Right(Face::South), Left(Face::West)},
    {"West-North", Right(Face::West), Left(Face::North)},
    {"North-cap", Top(Face::North), Bottom(Face::SkyCap)},
    {"West-cap", Top(Face::West), Left(Face::SkyCap)},
    {"South-cap", Top(Face::South), Reversed(Top(Face::SkyCap))},
    {"East-cap", Top(Face::East), Reversed(Right(Face::SkyCap))},
    {"North-ground", Bottom(Face::North), Top(Face::Ground)},
    {"East-ground", Bottom(Face::East), Right(Face::Ground)},
    {"South-ground", Bottom(Face::South), Reversed(Bottom(Face::Ground))},
    {"West-ground", Bottom(Face::West), Reversed(Left(Face::Ground))},
};

TEST(PanoramaGeometry, FacesMeetAlongTheTwelveEdgesAsTheCapAndGroundPromise) {
    for (const auto& edge : kEdges) {
        for (int step = 0; step <= kFaceSize; step += 12) {
            const double t = step;
            const Direction a = FaceDirection(edge.a.face, edge.a.Column(t), edge.a.Row(t));
            const Direction b = FaceDirection(edge.b.face, edge.b.Column(t), edge.b.Row(t));
            EXPECT_LT(AngleBetween(a, b), 1e-12) << edge.name << " at " << t;
        }
    }
}

// A side face is a 90-degree view: column offsets turn by atan, rows rise by atan over the
// distance to the face at that column; the horizon lies on the middle row.
TEST(PanoramaGeometry, SideFacesLookAlongTheHorizonFromNorthRoundToWestOnTheLeft) {
    const struct {
        Face face;
        double turn;
    } sides[] = {{Face::North, 0}, {Face::East, 90}, {Face::South, 180}, {Face::West, -90}};
    for (const double north : {180.0, 47.25, 0.0}) {
        for (const auto& side : sides) {
            for (int i = 0; i < kFaceSize; i += 23) {
                for (int j = 0; j < kFaceSize; j += 29) {
                    const double a = (i + 0.5) / (kSize / 2) - 1;
                    const double b = 1 - (j + 0.5) / (kSize / 2);
                    const PanoramaPoint point = PanoramaPointOf(FaceDirection(side.face, i + 0.5, j + 0.5), north);
                    EXPECT_NEAR(LongitudeDifference(point.longitude, north + side.turn + std::atan(a) * kDegrees), 0,
                                1e-9);
                    EXPECT_NEAR(point.latitude, std::atan(b / std::sqrt(1 + a * a)) * kDegrees, 1e-9);
                    EXPECT_GE(point.longitude, 0.0);
                    EXPECT_LT(point.longitude, 360.0);
                }
            }
        }
    }
    EXPECT_NEAR(PanoramaPointOf(FaceDirection(Face::SkyCap, kSize / 2, kSize / 2), 180).latitude, 90, 1e-12);
    EXPECT_NEAR(PanoramaPointOf(FaceDirection(Face::Ground, kSize / 2, kSize / 2), 180).latitude, -90, 1e-12);
}

// Red bands 30 degrees of longitude wide, green bands 15 degrees of latitude high, their
// borders on pixel borders of the panorama.
RgbImage BandedPanorama(int width) {
    RgbImage panorama = RgbImage::Unfilled(width, width / 2);
    for (int y = 0; y < panorama.height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool red = (x * 12 / width) % 2 == 0;
            const bool green = (y * 12 / panorama.height) % 2 == 0;
            panorama.Set(x, y,
                         {static_cast<std::uint8_t>(red ? 255 : 0), static_cast<std::uint8_t>(green ? 255 : 0), 0});
        }
    return panorama;
}

// Where the channel crosses half way between pixel k and the next along the line, in the
// face's pixel coordinates; nullopt when it does not cross there.
std::optional<double> Crossing(double here, double next, int k) {
    if ((here - 127.5) * (next - 127.5) >= 0) return std::nullopt;
    return k + 0.5 + (here - 127.5) / (here - next);
}

// Every border between bands seen on a face lies where the geometry puts a multiple of 30
// degrees of longitude (or 15 of latitude), within half a face pixel.
void ExpectBordersWithinHalfAPixel(const RgbImage& face, Face which, double north, int& checked) {
    for (int line = 0; line < kFaceSize; ++line) {
        for (int k = 0; k + 1 < kFaceSize; ++k) {
            if (const auto c = Crossing(face.At(k, line)[0], face.At(k + 1, line)[0], k)) {
                const auto at = [&](double column) {
                    return PanoramaPointOf(FaceDirection(which, column, line + 0.5), north);
                };
                if (std::abs(at(*c).latitude) > 80) continue;  // meridians crowd near the poles
                const double perPixel = std::abs(LongitudeDifference(at(*c + 0.5).longitude, at(*c - 0.5).longitude));
                const double off =
                    std::abs(LongitudeDifference(at(*c).longitude, 30 * std::round(at(*c).longitude / 30)));
                EXPECT_LE(off, perPixel / 2) << "face " << static_cast<int>(which) << " row " << line << " at " << *c;
                ++checked;
            }
            if (const auto c = Crossing(face.At(line, k)[1], face.At(line, k + 1)[1], k)) {
                const auto at = [&](double row) {
                    return PanoramaPointOf(FaceDirection(which, line + 0.5, row), north).latitude;
                };
                const double perPixel = std::abs(at(*c + 0.5) - at(*c - 0.5));
                const double off = std::abs(at(*c) - 15 * std::round(at(*c) / 15));
                EXPECT_LE(off, perPixel / 2)
                    << "face " << static_cast<int>(which) << " column " << line << " at " << *c;
                ++checked;
            }
        }
    }
}

TEST(PanoramaProjection, BandBordersLandWhereTheGeometryPutsThemOnEveryFace) {
    // Smaller than the faces need (grown), and larger (shrunk).
    for (const int width : {1008, 4032}) {
        const RgbImage panorama = BandedPanorama(width);
        for (const double north : {kDefaultNorthDegrees, 47.0}) {
            const auto faces = ProjectPanorama(panorama, north);
            for (const Face face : kAllFaces) {
                int checked = 0;
                ExpectBordersWithinHalfAPixel(faces[static_cast<std::size_t>(face)], face, north, checked);
                EXPECT_GT(checked, 500) << "face " << static_cast<int>(face) << " width " << width;
            }
        }
    }
}

// A smooth panorama: each pixel's colour is its own direction.
RgbImage DirectionPanorama(int width) {
    RgbImage panorama = RgbImage::Unfilled(width, width / 2);
    for (int y = 0; y < panorama.height; ++y) {
        const double latitude = (0.5 - (y + 0.5) / panorama.height) * std::numbers::pi;
        for (int x = 0; x < width; ++x) {
            const double longitude = (x + 0.5) / width * 2 * std::numbers::pi;
            const auto channel = [](double v) { return static_cast<std::uint8_t>(std::lround((v + 1) * 127.5)); };
            panorama.Set(x, y,
                         {channel(std::cos(latitude) * std::cos(longitude)),
                          channel(std::cos(latitude) * std::sin(longitude)), channel(std::sin(latitude))});
        }
    }
    return panorama;
}

// Where a turned cube looks: a table worked out by hand from the documented order (roll about
// North, then pitch about East, then North's longitude), in latitude and longitude.
TEST(PanoramaGeometry, PitchAndRollTurnTheCubeAsDocumented) {
    const struct {
        PanoramaView view;
        Face face;
        double latitude, longitude;
    } rows[] = {
        {{.north = 180, .pitch = 10}, Face::North, 10, 180},
        {{.north = 180, .pitch = 10}, Face::SkyCap, 80, 0},
        {{.north = 180, .pitch = 10}, Face::East, 0, 270},
        {{.north = 180, .roll = 10}, Face::East, -10, 270},
        {{.north = 180, .roll = 10}, Face::West, 10, 90},
        {{.north = 180, .roll = 10}, Face::North, 0, 180},
        {{.north = 90, .pitch = -20}, Face::North, -20, 90},
        {{.north = 90, .pitch = -20}, Face::Ground, -70, 270},  // tipped back toward South
        // East after a roll of 10 is (0, cos 10, -sin 10); a pitch of 30 then moves it to
        // (sin 10 sin 30, cos 10, -sin 10 cos 30).
        {{.north = 0, .pitch = 30, .roll = 10},
         Face::East,
         std::asin(-std::sin(10 / kDegrees) * std::cos(30 / kDegrees)) * kDegrees,
         std::atan2(std::cos(10 / kDegrees), std::sin(10 / kDegrees) * std::sin(30 / kDegrees)) * kDegrees},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.view.pitch) + ", " + std::to_string(row.view.roll) + " face " +
                     std::to_string(static_cast<int>(row.face)));
        const PanoramaPoint point = PanoramaPointOf(
            PanoramaDirection(FaceDirection(row.face, kSize / 2, kSize / 2), row.view), kDefaultNorthDegrees);
        EXPECT_NEAR(point.latitude, row.latitude, 1e-9);
        if (std::abs(row.latitude) < 89) {
            EXPECT_NEAR(LongitudeDifference(point.longitude, row.longitude), 0, 1e-9);
        }
    }
}

// The projection follows the turn: on a panorama whose every pixel holds its own direction, each
// face pixel shows the direction the turned cube looks along there.
TEST(PanoramaProjection, ATurnedCubeSeesWhereItsTurnedDirectionsPoint) {
    const RgbImage panorama = DirectionPanorama(2048);
    const auto channel = [](double v) { return static_cast<int>(std::lround((v + 1) * 127.5)); };
    for (const PanoramaView view :
         {PanoramaView{.north = 180, .pitch = 12, .roll = -7}, PanoramaView{.north = 33, .pitch = -25, .roll = 15}}) {
        const auto faces = ProjectPanorama(panorama, view);
        int worst = 0;
        for (const Face face : kAllFaces)
            for (int y = 3; y < kFaceSize; y += 50)
                for (int x = 5; x < kFaceSize; x += 50) {
                    const PanoramaPoint p =
                        PanoramaPointOf(PanoramaDirection(FaceDirection(face, x + 0.5, y + 0.5), view), 180);
                    const double lat = p.latitude / kDegrees, lon = p.longitude / kDegrees;
                    const Rgb got = faces[static_cast<std::size_t>(face)].At(x, y);
                    worst = std::max({worst, std::abs(got[0] - channel(std::cos(lat) * std::cos(lon))),
                                      std::abs(got[1] - channel(std::cos(lat) * std::sin(lon))),
                                      std::abs(got[2] - channel(std::sin(lat)))});
                }
        EXPECT_LE(worst, 2) << view.pitch << ", " << view.roll;
    }
}

int ChannelStep(Rgb a, Rgb b) {
    int step = 0;
    for (int c = 0; c < 3; ++c) step = std::max(step, std::abs(a[c] - b[c]));
    return step;
}

TEST(PanoramaProjection, EdgeRowsDifferNoMoreThanNeighbouringRowsInsideAFace) {
    const RgbImage panorama = DirectionPanorama(2048);
    const auto faces = ProjectPanorama(panorama, kDefaultNorthDegrees);
    const auto pixel = [&](const EdgePoint& e, double t, double inward) {
        // The pixel on the edge at t, or `inward` pixels further into the face.
        double column = e.Column(t), row = e.Row(t);
        if (e.columnPerT == 0) column += column == 0 ? inward : -inward;
        if (e.rowPerT == 0) row += row == 0 ? inward : -inward;
        const int x = std::clamp(static_cast<int>(column), 0, kFaceSize - 1);
        const int y = std::clamp(static_cast<int>(row), 0, kFaceSize - 1);
        return faces[static_cast<std::size_t>(e.face)].At(x, y);
    };
    for (const auto& edge : kEdges) {
        int across = 0, inside = 0;
        for (int k = 0; k < kFaceSize; ++k) {
            const double t = k + 0.5;
            across = std::max(across, ChannelStep(pixel(edge.a, t, 0.5), pixel(edge.b, t, 0.5)));
            inside = std::max(inside, ChannelStep(pixel(edge.a, t, 0.5), pixel(edge.a, t, 1.5)));
            inside = std::max(inside, ChannelStep(pixel(edge.b, t, 0.5), pixel(edge.b, t, 1.5)));
        }
        EXPECT_LE(across, inside + 1) << edge.name;
        EXPECT_GT(inside, 0) << edge.name;
    }
}

TEST(PanoramaProjection, ThePolesAreSmoothWithNoSeam) {
    const auto faces = ProjectPanorama(DirectionPanorama(4096), kDefaultNorthDegrees);
    for (const Face face : {Face::SkyCap, Face::Ground}) {
        const RgbImage& image = faces[static_cast<std::size_t>(face)];
        int worst = 0;
        for (int y = 200; y < 304; ++y)
            for (int x = 200; x < 304; ++x)
                worst = std::max({worst, ChannelStep(image.At(x, y), image.At(x + 1, y)),
                                  ChannelStep(image.At(x, y), image.At(x, y + 1))});
        // A direction field changes by about one level per pixel here; a pinch or seam jumps.
        EXPECT_LE(worst, 2) << static_cast<int>(face);
        const Rgb pole = image.At(252, 252);
        EXPECT_NEAR(pole[2], face == Face::SkyCap ? 255 : 0, 1);
    }
}

// Every face pixel of every face, as (lowest, highest) over the channels.
std::pair<int, int> Range(const std::array<RgbImage, 6>& faces) {
    int lowest = 255, highest = 0;
    for (const RgbImage& face : faces)
        for (const std::uint8_t byte : face.pixels)
            lowest = std::min<int>(lowest, byte), highest = std::max<int>(highest, byte);
    return {lowest, highest};
}

TEST(PanoramaProjection, AConstantPanoramaGivesExactlyItsValue) {
    // Read enlarged, from the panorama itself, and from halvings (the footprint at a face's
    // centre is over six of its rows), one of odd height.
    const struct {
        const char* name;
        int width;
        Rgb colour;
    } rows[] = {
        {"enlarged", 1000, {1, 128, 254}},
        {"the panorama's own pixels", 4000, {255, 255, 255}},
        {"halvings, odd height", 9726, {37, 0, 200}},
    };
    for (const auto& row : rows) {
        const auto faces = ProjectPanorama(RgbImage::Filled(row.width, row.width / 2, row.colour));
        for (const RgbImage& face : faces)
            EXPECT_EQ(face, RgbImage::Filled(kFaceSize, kFaceSize, row.colour)) << row.name;
    }
}

// Black and white squares of `cell` pixels.
RgbImage CheckerboardOfCells(int width, int cell) {
    RgbImage checkers = RgbImage::Unfilled(width, width / 2);
    for (int y = 0; y < checkers.height; ++y)
        for (int x = 0; x < checkers.width; ++x)
            checkers.Set(x, y, (x / cell + y / cell) % 2 == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
    return checkers;
}

TEST(PanoramaProjection, CheckerboardsFinerThanTheFacePixelsShrinkToGrey) {
    // A point sampler shows these as full-contrast moire (0 to 255). Averaged over footprints of
    // one and a half to five squares, the faces keep a weak moire where the footprint is
    // smallest (the faces' corners). Where a corner's footprint is sheared along the squares'
    // diagonal, the mean of the 2-pixel squares themselves over it (supersampled 48 x 48) is
    // up to 30 from grey, and that of their reconstruction a little more: their bound is looser.
    const struct {
        const char* name;
        int width, cell, deviation;
    } rows[] = {
        {"1-pixel squares, 4096 wide", 4096, 1, 32},
        {"2-pixel squares, 9728 wide (halvings)", 9728, 2, 40},
    };
    for (const auto& row : rows) {
        const auto [lowest, highest] = Range(ProjectPanorama(CheckerboardOfCells(row.width, row.cell)));
        EXPECT_GE(lowest, 128 - row.deviation) << row.name;
        EXPECT_LE(highest, 127 + row.deviation) << row.name;
    }
}

// The Catmull-Rom kernel, written out from its definition, and the most its step response
// overshoots the step (as a fraction of it), found by scanning.
double CatmullRomKernel(double t) {
    t = std::abs(t);
    return t < 1 ? 1.5 * t * t * t - 2.5 * t * t + 1 : t < 2 ? -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2 : 0;
}
double CatmullRomOvershoot() {
    double most = 0;
    for (int step = 0; step <= 5000; ++step) {
        const double t = -2 + step * 1e-3;
        double response = 0;  // of samples 0 up to position 0 and 1 from position 1 on
        for (int k = 1; k <= 5; ++k) response += CatmullRomKernel(t - k);
        most = std::max({most, -response, response - 1});
    }
    return most;
}

TEST(PanoramaProjection, AnEnlargedEdgeOvershootsNoMoreThanTheKernelAndHasNoHalo) {
    // Meridian steps from 40 to 200 at the panorama's centre (where North looks) and back at its
    // edge; 512 wide, so every face pixel is smaller than a panorama pixel.
    constexpr int kWidth = 512, kLow = 40, kHigh = 200;
    RgbImage steps = RgbImage::Unfilled(kWidth, kWidth / 2);
    for (int y = 0; y < steps.height; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto v = static_cast<std::uint8_t>(x < kWidth / 2 ? kLow : kHigh);
            steps.Set(x, y, {v, v, v});
        }
    const RgbImage north = ProjectPanorama(steps)[static_cast<std::size_t>(Face::North)];
    const double allowed = CatmullRomOvershoot() * (kHigh - kLow) + 1;  // and the rounding
    EXPECT_GT(CatmullRomOvershoot(), 0.05);
    EXPECT_LT(CatmullRomOvershoot(), 0.1);
    for (int y = 0; y < kFaceSize; y += 7)
        for (int x = 0; x < kFaceSize; ++x) {
            const int value = north.At(x, y)[0];
            EXPECT_GE(value, kLow - allowed) << x << "," << y;
            EXPECT_LE(value, kHigh + allowed) << x << "," << y;
            // Past the kernel's reach (two panorama pixels) and the pixel's own, each side is flat.
            const double longitude = PanoramaPointOf(FaceDirection(Face::North, x + 0.5, y + 0.5), 180).longitude;
            const double pixelsFromStep = std::abs(longitude - 180) / 360 * kWidth;
            if (pixelsFromStep > 3) {
                EXPECT_EQ(value, longitude < 180 ? kLow : kHigh) << x << "," << y;
            }
        }
    // And the step is sharp: a face row crosses it within two panorama pixels.
    const RgbImage& face = north;
    int between = 0;
    for (int x = 0; x < kFaceSize; ++x) {
        const int value = face.At(x, kFaceSize / 2)[0];
        between += value > kLow + 16 && value < kHigh - 16;
    }
    EXPECT_LE(between, 2 * kFaceSize / (kWidth / 4.0)) << "face pixels within the step";
    EXPECT_GT(between, 0);
}

// The footprint is the mapping's derivative: against central differences of the geometry,
// where the mapping is plain (a face's centre), sheared (a side face's corner, an edge) and
// turned and stretched near a pole (the sky cap and the ground).
TEST(PanoramaGeometry, TheFootprintFollowsTheMappingsDerivatives) {
    constexpr ImageSize kPanorama{4096, 2048};
    const struct {
        const char* name;
        Face face;
        double column, row;
    } rows[] = {
        {"North's centre", Face::North, 252, 252},
        {"West's top-left corner", Face::West, 3.5, 2.5},
        {"East's right edge", Face::East, 503.5, 300},
        {"South below the horizon", Face::South, 100, 400},
        {"the cap near the pole", Face::SkyCap, 255.5, 249.5},
        {"the cap's corner", Face::SkyCap, 500, 10},
        {"the ground near the pole", Face::Ground, 248.5, 253.5},
    };
    const auto uv = [&](Face face, double column, double row) {
        const PanoramaPoint p = PanoramaPointOf(FaceDirection(face, column, row), 180);
        return std::pair{p.longitude / 360 * kPanorama.width, (90 - p.latitude) / 180 * kPanorama.height};
    };
    constexpr double kStep = 1e-4;
    for (const auto& row : rows) {
        const Footprint f = FootprintOf(row.face, row.column, row.row, kPanorama);
        const auto [u0, v0] = uv(row.face, row.column - kStep, row.row);
        const auto [u1, v1] = uv(row.face, row.column + kStep, row.row);
        const auto [u2, v2] = uv(row.face, row.column, row.row - kStep);
        const auto [u3, v3] = uv(row.face, row.column, row.row + kStep);
        const auto du = [&](double a, double b) {  // across the wrap
            return LongitudeDifference(b / kPanorama.width * 360, a / kPanorama.width * 360) / 360 * kPanorama.width;
        };
        const double scale = std::hypot(f.uPerColumn, f.uPerRow, std::hypot(f.vPerColumn, f.vPerRow));
        EXPECT_NEAR(f.uPerColumn, du(u0, u1) / (2 * kStep), 1e-5 * scale) << row.name;
        EXPECT_NEAR(f.vPerColumn, (v1 - v0) / (2 * kStep), 1e-5 * scale) << row.name;
        EXPECT_NEAR(f.uPerRow, du(u2, u3) / (2 * kStep), 1e-5 * scale) << row.name;
        EXPECT_NEAR(f.vPerRow, (v3 - v2) / (2 * kStep), 1e-5 * scale) << row.name;
    }
    // By hand at North's centre: a face pixel is 2/504 radians each way, across 4096 / 2 pi
    // columns and 2048 / pi rows per radian, with nothing across.
    const Footprint centre = FootprintOf(Face::North, 252, 252, kPanorama);
    EXPECT_NEAR(centre.uPerColumn, 2.0 / kFaceSize * 4096 / (2 * std::numbers::pi), 1e-12);
    EXPECT_NEAR(centre.vPerRow, 2.0 / kFaceSize * 2048 / std::numbers::pi, 1e-12);
    EXPECT_NEAR(centre.uPerRow, 0, 1e-12);
    EXPECT_NEAR(centre.vPerColumn, 0, 1e-12);
    // Near the pole the footprint is long across the rows and thin down them.
    const Footprint pole = FootprintOf(Face::SkyCap, 255.5, 249.5, kPanorama);
    EXPECT_GT(std::hypot(pole.uPerColumn, pole.uPerRow), 20 * std::hypot(pole.vPerColumn, pole.vPerRow));
}

// A face pixel is the mean over the parallelogram its square maps to. Within each cell of
// 32 x 32 panorama pixels the panorama is the saddle (x - x0)(y - y0), x0 and y0 the cell's
// centre, which the Catmull-Rom reconstruction reproduces exactly; the mean of a saddle over a
// parallelogram is its value at the centre plus the parallelogram's covariance, (a c + b d) / 12
// for the steps (a, c) and (b, d) that span it. A box along the panorama's axes, however sized,
// gives the centre's value alone.
TEST(PanoramaProjection, AFacePixelIsTheMeanOverItsOwnParallelogram) {
    constexpr int kWidth = 2048, kHeight = kWidth / 2, kCell = 32;
    const auto local = [](double x) { return std::fmod(x, kCell) - kCell / 2.0; };
    constexpr double kOffset = 300;  // keeps the light positive
    LinearImage saddle = LinearImage::Sized(kWidth, kHeight, Light::Scene);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c)
                saddle.Row(y)[3 * x + c] = static_cast<float>(kOffset + local(x + 0.5) * local(y + 0.5));
    const auto faces = ProjectLinearPanorama(saddle);
    int checked = 0;
    double largestCovariance = 0;
    for (const Face face : kAllFaces)
        for (int y = 0; y < kFaceSize; y += 5)
            for (int x = 0; x < kFaceSize; x += 5) {
                const PanoramaPoint p = PanoramaPointOf(FaceDirection(face, x + 0.5, y + 0.5), 180);
                const double u = p.longitude / 360 * kWidth, v = (90 - p.latitude) / 180 * kHeight;
                const Footprint f = FootprintOf(face, x + 0.5, y + 0.5, {kWidth, kHeight});
                // Only where the footprint and the kernel's reach (two pixels) lie within a cell.
                const double reachU = (std::abs(f.uPerColumn) + std::abs(f.uPerRow)) / 2 + 2;
                const double reachV = (std::abs(f.vPerColumn) + std::abs(f.vPerRow)) / 2 + 2;
                const auto cell = [](double at) { return std::floor(at / kCell); };
                if (cell(u - reachU) != cell(u + reachU) || cell(v - reachV) != cell(v + reachV)) continue;
                const double covariance = (f.uPerColumn * f.vPerColumn + f.uPerRow * f.vPerRow) / 12;
                EXPECT_NEAR(faces[static_cast<std::size_t>(face)].Row(y)[3 * x],
                            kOffset + local(u) * local(v) + covariance, 2e-3)
                    << "face " << static_cast<int>(face) << " at " << x << "," << y;
                largestCovariance = std::max(largestCovariance, std::abs(covariance));
                ++checked;
            }
    EXPECT_GT(checked, 2000);
    EXPECT_GT(largestCovariance, 0.02);
}

// Grey rings round the poles: rows of white and black, eight of each. Near the poles a face pixel's
// footprint is as high as elsewhere but far wider along the rows, so only a filter sized by its
// height keeps the rings.
constexpr int kStripeRows = 8;
std::uint8_t StripeValue(int row) { return (row / kStripeRows) % 2 == 0 ? 255 : 0; }

// The face pixel's mean over a grid of directions across it, each looking up the stripe row it
// falls in: an independent supersampled projection of the same panorama.
double SupersampledPixel(Face face, int x, int y, int height) {
    constexpr int kGrid = 6;
    double sum = 0;
    for (int i = 0; i < kGrid; ++i)
        for (int j = 0; j < kGrid; ++j) {
            const PanoramaPoint point =
                PanoramaPointOf(FaceDirection(face, x + (i + 0.5) / kGrid, y + (j + 0.5) / kGrid), 180);
            const int row = std::clamp(static_cast<int>((90 - point.latitude) / 180 * height), 0, height - 1);
            sum += StripeValue(row);
        }
    return sum / (kGrid * kGrid);
}

TEST(PanoramaProjection, CapAndGroundFollowASupersampledProjection) {
    constexpr int kHeight = 2048;
    RgbImage stripes = RgbImage::Unfilled(2 * kHeight, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t value = StripeValue(y);
        for (int x = 0; x < stripes.width; ++x) stripes.Set(x, y, {value, value, value});
    }
    const auto faces = ProjectPanorama(stripes, kDefaultNorthDegrees);
    for (const Face face : {Face::SkyCap, Face::Ground}) {
        const RgbImage& image = faces[static_cast<std::size_t>(face)];
        double difference = 0, got = 0, gotSquares = 0, expected = 0, expectedSquares = 0;
        int count = 0;
        for (int y = 1; y < kFaceSize; y += 4)
            for (int x = 1; x < kFaceSize; x += 4) {
                const double truth = SupersampledPixel(face, x, y, kHeight);
                const double value = image.At(x, y)[0];
                difference += std::abs(value - truth);
                got += value, gotSquares += value * value;
                expected += truth, expectedSquares += truth * truth;
                ++count;
            }
        const auto deviation = [count](double sum, double squares) {
            return std::sqrt(squares / count - (sum / count) * (sum / count));
        };
        EXPECT_LT(difference / count, 8.0) << "mean difference, face " << static_cast<int>(face);
        EXPECT_GT(deviation(got, gotSquares), 0.93 * deviation(expected, expectedSquares))
            << "contrast, face " << static_cast<int>(face);
    }
}

TEST(PanoramaProjection, OnlyDetailFinerThanEveryFacePixelIsLeftUndecoded) {
    const struct {
        int height;
        int factor;
    } rows[] = {{256, 1}, {512, 1}, {2048, 1}, {4096, 2}, {8192, 4}, {16384, 8}};
    for (const auto& row : rows) {
        const int factor = UnneededResolutionFactor({2 * row.height, row.height});
        EXPECT_EQ(factor, row.factor) << row.height;
        // Even in a face's corner a pixel's footprint is that many rows of the panorama across
        // (measured along the face's edge there, its wider side), and not twice as many.
        const double cornerArc =
            AngleBetween(FaceDirection(Face::North, 0, 1), FaceDirection(Face::North, 1, 0)) / std::sqrt(2.0);
        const double rows = cornerArc * row.height / std::numbers::pi;
        EXPECT_GE(rows, factor > 1 ? factor : 0) << row.height;
        EXPECT_LT(rows, 2 * factor) << row.height;
    }
}

class PanoramaConversionTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / kGroundTemplateFile, CoordinateImage(kFaceSize, kFaceSize));
    }
    SkyResult Convert(const std::filesystem::path& source, const PanoramaOptions& options) {
        const SkyContext context{
            .host = host_, .files = SystemFileSystem(), .lastPath = Utf8FromPath(dir_ / ""), .programFolder = program_};
        return ProcessPanorama(Utf8FromPath(source), context, options);
    }
    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
    MemoryHost host_;
};

TEST_F(PanoramaConversionTest, WritesTheSixViewsOrTheTemplatesGround) {
    const RgbImage panorama = DirectionPanorama(1024);
    WriteTga(dir_ / "pano.tga", panorama);
    const auto faces = LinearProjection(panorama, {.north = 90});
    ASSERT_EQ(Convert(dir_ / "pano.tga", {.view = {.north = 90}}).outcome, SkyOutcome::Completed) << host_.Status();
    for (const Face face : kAllFaces)
        EXPECT_EQ(ReadTga(dir_ / FileNameOf(face)), faces[static_cast<std::size_t>(face)]) << FileNameOf(face);
    ASSERT_EQ(Convert(dir_ / "pano.tga", {.view = {.north = 90}, .groundFromTemplate = true}).outcome,
              SkyOutcome::Completed)
        << host_.Status();
    EXPECT_EQ(ReadBytes(dir_ / FileNameOf(Face::Ground)), ReadBytes(program_ / kGroundTemplateFile));
}

TEST_F(PanoramaConversionTest, RefusesAnythingButTwiceAsWideAsHighAndWritesNothing) {
    for (const auto& [width, height] : {std::pair{1000, 501}, {512, 512}, {2016, 504}}) {
        WriteTga(dir_ / "odd.tga", CoordinateImage(width, height));
        const SkyResult result = Convert(dir_ / "odd.tga", {});
        EXPECT_EQ(result.outcome, SkyOutcome::Refused) << width << "x" << height;
        EXPECT_EQ(host_.LastMessage(), "A 360-degree panorama needs to be twice as wide as it is high");
        EXPECT_EQ(result.strip, (ImageSize{width, height}));
        EXPECT_EQ(CubeFilesIn(dir_.Path()), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace zenivor::test
