// 360-degree panoramas onto the cube: the geometry of every face, the joins along the cube's
// twelve edges, and pixels that land where the geometry puts them.

#include <gtest/gtest.h>

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
    double column(double t) const { return columnAt0 + columnPerT * t; }
    double row(double t) const { return rowAt0 + rowPerT * t; }
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
        for (double t = 0; t <= kSize; t += 12) {
            const Direction a = FaceDirection(edge.a.face, edge.a.column(t), edge.a.row(t));
            const Direction b = FaceDirection(edge.b.face, edge.b.column(t), edge.b.row(t));
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
        double column = e.column(t), row = e.row(t);
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

TEST(PanoramaProjection, LargePanoramasShrinkWithoutAliasing) {
    // A checkerboard of single pixels, finer than any face pixel: every face pixel must come
    // out near its mean grey, not as the moire of single samples.
    RgbImage checkers = RgbImage::Unfilled(4096, 2048);
    for (int y = 0; y < checkers.height; ++y)
        for (int x = 0; x < checkers.width; ++x)
            checkers.Set(x, y, (x + y) % 2 == 0 ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
    for (const RgbImage& face : ProjectPanorama(checkers, kDefaultNorthDegrees)) {
        int lowest = 255, highest = 0;
        for (int y = 0; y < kFaceSize; ++y)
            for (int x = 0; x < kFaceSize; ++x) {
                lowest = std::min<int>(lowest, face.At(x, y)[0]);
                highest = std::max<int>(highest, face.At(x, y)[0]);
            }
        EXPECT_GE(lowest, 128 - 64);
        EXPECT_LE(highest, 127 + 64);
    }
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
    const auto faces = ProjectPanorama(panorama, 90);
    ASSERT_EQ(Convert(dir_ / "pano.tga", {90, false}).outcome, SkyOutcome::Completed) << host_.Status();
    for (const Face face : kAllFaces)
        EXPECT_EQ(ReadTga(dir_ / FileNameOf(face)), faces[static_cast<std::size_t>(face)]) << FileNameOf(face);
    ASSERT_EQ(Convert(dir_ / "pano.tga", {90, true}).outcome, SkyOutcome::Completed) << host_.Status();
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
