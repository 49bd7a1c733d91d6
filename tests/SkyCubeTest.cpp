// The cube built in memory from strips whose pixels name their own coordinates: which strip
// columns each side face holds and how the sky cap is composed. The expectations are written
// out here from the cube's geometry, not taken from the tables under test.

#include <gtest/gtest.h>

#include "conversion/SkyCube.h"
#include "tests/CubeOracle.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

std::array<RgbImage, 4> SidesOf(int width) {
    const StripLayout* layout = StripLayoutFor({width, 504});
    EXPECT_NE(layout, nullptr) << width;
    return layout ? CutSideFaces(CoordinateImage(width, 504), *layout) : std::array<RgbImage, 4>{};
}
const RgbImage& Side(const std::array<RgbImage, 4>& sides, Face face) { return sides[static_cast<std::size_t>(face)]; }

TEST(SkyCube, SideFacesHoldTheStripColumnsForEachWidth) {
    for (const int width : {504, 1008, 2016}) {
        const auto sides = SidesOf(width);
        for (const Face face : kSideFaces) {
            const RgbImage& side = Side(sides, face);
            SCOPED_TRACE(std::to_string(width) + " " + FileNameOf(face));
            ASSERT_EQ(side.width, 504);
            ASSERT_EQ(side.height, 504);
            for (int x = 0; x < 504; ++x)
                for (const int y : {0, 251, 503}) {
                    ASSERT_EQ(CoordinateX(side.At(x, y)), ExpectedStripColumn(width, face, x)) << x << "," << y;
                    ASSERT_EQ(CoordinateY(side.At(x, y)), y) << x;
                }
        }
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
            const int q = OwningCapTriangle(x, y);
            if (q < 0) continue;
            const Face face = kCapTriangles[q].face;
            ASSERT_EQ(cap.At(x, y), ExpectedCapPixel(face, Side(sides, face), x, y))
                << x << "," << y << " triangle " << q;
            ++checked;
            if (q == 3 && x < 252) ++wonByEastPastTheCentre;
        }
    EXPECT_GT(checked, 504 * 504 - 4 * 504);
    EXPECT_GT(wonByEastPastTheCentre, 0);
}

}  // namespace
}  // namespace zenivor::test
