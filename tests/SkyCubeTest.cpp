// The cube built in memory from strips whose pixels name their own coordinates: which strip
// columns each side face holds and how the sky cap is composed. The expectations are written
// out here from the cube's geometry, not taken from the tables under test.

#include <gtest/gtest.h>

#include <functional>

#include "conversion/SkyCube.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

std::array<RgbImage, 4> SidesOf(int width) {
    const StripLayout* layout = StripLayoutFor({width, 504});
    EXPECT_NE(layout, nullptr) << width;
    return layout ? CutSideFaces(CoordinateImage(width, 504), *layout) : std::array<RgbImage, 4>{};
}
const RgbImage& Side(const std::array<RgbImage, 4>& sides, Face face) { return sides[static_cast<std::size_t>(face)]; }

// Every column of the face must come, on every row, from the strip column given.
void ExpectColumns(const RgbImage& face, const std::function<int(int)>& stripColumn, const char* name) {
    ASSERT_EQ(face.width, 504) << name;
    ASSERT_EQ(face.height, 504) << name;
    for (int x = 0; x < 504; ++x)
        for (const int y : {0, 251, 503}) {
            const Rgb pixel = face.At(x, y);
            ASSERT_EQ(CoordinateX(pixel), stripColumn(x)) << name << " column " << x << " row " << y;
            ASSERT_EQ(CoordinateY(pixel), y) << name << " column " << x;
        }
}

TEST(SkyCube, SideFacesHoldTheStripColumnsForEachWidth) {
    const auto mirrored = [](int first) { return [first](int x) { return first + 503 - x; }; };
    const auto straight = [](int first) { return [first](int x) { return first + x; }; };
    const struct {
        int width;
        std::function<int(int)> north, west, south, east;
    } rows[] = {
        {504, straight(0), mirrored(0), straight(0), mirrored(0)},
        {1008, straight(504), straight(0), mirrored(0), mirrored(504)},
        {2016, straight(258), [](int x) { return x < 246 ? 1770 + x : x - 246; }, straight(1266), straight(762)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.width);
        const auto sides = SidesOf(row.width);
        ExpectColumns(Side(sides, Face::North), row.north, "North");
        ExpectColumns(Side(sides, Face::West), row.west, "West");
        ExpectColumns(Side(sides, Face::South), row.south, "South");
        ExpectColumns(Side(sides, Face::East), row.east, "East");
    }
}

TEST(SkyCube, WideStripFacesJoinAtEveryEdge) {
    const auto sides = SidesOf(2016);
    const Face ring[] = {Face::West, Face::North, Face::East, Face::South};
    for (int i = 0; i < 4; ++i) {
        const int last = CoordinateX(Side(sides, ring[i]).At(503, 100));
        const int first = CoordinateX(Side(sides, ring[(i + 1) % 4]).At(0, 100));
        EXPECT_EQ((last + 1) % 2016, first) << i;
    }
}

// The sky cap's four triangles, as the cube's geometry places them: each based on one whole
// edge, its apex just past the centre. Drawn in this order; a later one wins an overlap.
struct Triangle {
    Face face;
    Point a, b, apex;
};
constexpr Triangle kTriangles[] = {
    {Face::North, {0, 504}, {504, 504}, {253, 249}},
    {Face::West, {0, 0}, {0, 504}, {253, 249}},
    {Face::South, {0, 0}, {504, 0}, {251, 253}},
    {Face::East, {504, 504}, {504, 0}, {249, 251}},
};

// Where a sky-cap pixel comes from in its side face: each face's top row lies along its base.
Rgb ExpectedCapPixel(Face face, const RgbImage& side, int x, int y) {
    switch (face) {
        case Face::North: return side.At(x, 503 - y);
        case Face::West: return side.At(y, x);
        case Face::South: return side.At(503 - x, y);
        default: return side.At(503 - y, 503 - x);  // East
    }
}

// Which side of an edge a pixel centre lies on: > 0 one way, 0 exactly on it.
long long EdgeSide(Point a, Point b, int x, int y) {
    return (2LL * (b.x - a.x)) * (2LL * y + 1 - 2LL * a.y) - (2LL * (b.y - a.y)) * (2LL * x + 1 - 2LL * a.x);
}

// The last triangle whose inside holds the centre; -1 where a centre lies on an edge.
int OwningTriangle(int x, int y) {
    int owner = -1;
    for (int q = 0; q < 4; ++q) {
        const Triangle& t = kTriangles[q];
        const long long s0 = EdgeSide(t.a, t.b, x, y), s1 = EdgeSide(t.b, t.apex, x, y), s2 = EdgeSide(t.apex, t.a, x, y);
        if (s0 == 0 || s1 == 0 || s2 == 0) return -1;
        if ((s0 > 0 && s1 > 0 && s2 > 0) || (s0 < 0 && s1 < 0 && s2 < 0)) owner = q;
    }
    return owner;
}

TEST(SkyCube, SkyCapEdgesContinueTheSideFacesTopRows) {
    const auto sides = SidesOf(1008);
    const RgbImage cap = ComposeSkyCap(sides, {255, 255, 255});
    for (int i = 10; i < 494; ++i) {
        EXPECT_EQ(cap.At(i, 503), Side(sides, Face::North).At(i, 0)) << "bottom row " << i;
        EXPECT_EQ(cap.At(0, i), Side(sides, Face::West).At(i, 0)) << "left column " << i;
        EXPECT_EQ(cap.At(i, 0), Side(sides, Face::South).At(503 - i, 0)) << "top row " << i;
        EXPECT_EQ(cap.At(503, i), Side(sides, Face::East).At(503 - i, 0)) << "right column " << i;
    }
}

TEST(SkyCube, SkyCapTakesEachPixelFromTheLastTriangleHoldingIt) {
    const auto sides = SidesOf(2016);
    // White never occurs in a coordinate image, so it shows any pixel no triangle covered.
    const RgbImage cap = ComposeSkyCap(sides, {255, 255, 255});
    int checked = 0;
    int wonByEastPastTheCentre = 0;
    for (int y = 0; y < 504; ++y)
        for (int x = 0; x < 504; ++x) {
            ASSERT_NE(cap.At(x, y), (Rgb{255, 255, 255})) << x << "," << y << " is covered by no triangle";
            const int q = OwningTriangle(x, y);
            if (q < 0) continue;
            const Face face = kTriangles[q].face;
            ASSERT_EQ(cap.At(x, y), ExpectedCapPixel(face, Side(sides, face), x, y)) << x << "," << y << " triangle " << q;
            ++checked;
            if (q == 3 && x < 252) ++wonByEastPastTheCentre;
        }
    EXPECT_GT(checked, 504 * 504 - 4 * 504);
    EXPECT_GT(wonByEastPastTheCentre, 0);
}

}  // namespace
}  // namespace zenivor::test
