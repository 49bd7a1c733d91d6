// The image operations on values: crops drawn into a surface, mirroring, turns and copies
// through a polygon with the pixel-centre rule.

#include <gtest/gtest.h>

#include "imaging/ImageOps.h"
#include "imaging/PixelLoops.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

TEST(Transforms, TurnsAsSeenWhenShown) {
    // Each row: the turn, and where the source pixel of target (x, y) lies in a 3 x 2 image
    // (a quarter turn makes it 2 x 3).
    const struct {
        Turn turn;
        int (*sourceX)(int x, int y);
        int (*sourceY)(int x, int y);
    } rows[] = {
        {Turn::Clockwise, [](int, int y) { return y; }, [](int x, int) { return 1 - x; }},
        {Turn::Half, [](int x, int) { return 2 - x; }, [](int, int y) { return 1 - y; }},
        {Turn::CounterClockwise, [](int, int y) { return 2 - y; }, [](int x, int) { return x; }},
    };
    const RgbImage original = CoordinateImage(3, 2);
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.turn));
        const RgbImage turned = Turned(original, row.turn);
        ASSERT_EQ(turned.width, row.turn == Turn::Half ? 3 : 2);
        for (int y = 0; y < turned.height; ++y)
            for (int x = 0; x < turned.width; ++x)
                EXPECT_EQ(turned.At(x, y), original.At(row.sourceX(x, y), row.sourceY(x, y))) << x << "," << y;
    }
}

TEST(Transforms, FourQuarterTurnsAreTheIdentityOnAFace) {
    const RgbImage face = CoordinateImage(504, 504);
    RgbImage turned = face;
    for (int i = 0; i < 4; ++i) turned = Turned(turned, Turn::Clockwise);
    EXPECT_EQ(turned, face);
    EXPECT_EQ(Turned(Turned(face, Turn::Clockwise), Turn::CounterClockwise), face);
    // The top row of a face turned clockwise is its right column, read downwards.
    const RgbImage clockwise = Turned(face, Turn::Clockwise);
    for (int i = 0; i < 504; i += 50) EXPECT_EQ(clockwise.At(503, i), CoordinateColour(i, 0));
}

TEST(Transforms, HorizontalFlipMirrorsEveryRow) {
    for (const int width : {5, 4, 1}) {
        const RgbImage original = CoordinateImage(width, 2);
        RgbImage flipped = original;
        FlipHorizontally(flipped);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < width; ++x) EXPECT_EQ(flipped.At(x, y), original.At(width - 1 - x, y)) << width;
    }
}

TEST(PixelLoops, EveryLengthAgreesWithOnePixelAtATime) {
    for (const std::size_t count : {0, 1, 2, 3, 255, 256, 257, 512, 513, 1000}) {
        std::vector<std::uint8_t> pixels(3 * count);
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i * 7 + i / 3);
        std::vector<std::uint8_t> reversed = pixels;
        ReversePixels(reversed.data(), count);
        for (std::size_t p = 0; p < count; ++p) {
            const std::size_t mirror = count - 1 - p;
            for (std::size_t c = 0; c < 3; ++c)
                EXPECT_EQ(reversed[3 * p + c], pixels[3 * mirror + c]) << count << " pixel " << p;
        }
    }
}

TEST(Drawing, CropsAreCopiedUnscaledAndClippedAtEitherImagesEdge) {
    const RgbImage strip = CoordinateImage(600, 504);
    const Rgb grey{240, 240, 240};
    const struct {
        const char* name;
        int targetX, targetY, sourceX, sourceY, width, height;
        Point drawnFrom, drawnTo;  // the target rectangle that changes, [from, to)
        Point sourceOfFrom;
    } rows[] = {
        {"past the right edge", 400, 0, 10, 0, 300, 504, {400, 0}, {504, 504}, {10, 0}},
        {"from the left of the source", -5, 3, -5, 0, 20, 10, {0, 3}, {15, 13}, {0, 0}},
        {"past the source's right edge", 0, 0, 590, 0, 30, 4, {0, 0}, {10, 4}, {590, 0}},
        {"nothing at all", 0, 0, 0, 0, 0, 504, {0, 0}, {0, 0}, {0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        RgbImage surface = RgbImage::Filled(504, 504, grey);
        DrawCrop(surface, row.targetX, row.targetY, strip, row.sourceX, row.sourceY, row.width, row.height);
        for (int y = 0; y < 504; y += 7)
            for (int x = 0; x < 504; x += 7) {
                const bool drawn =
                    x >= row.drawnFrom.x && x < row.drawnTo.x && y >= row.drawnFrom.y && y < row.drawnTo.y;
                const Rgb expected = drawn ? CoordinateColour(row.sourceOfFrom.x + x - row.drawnFrom.x,
                                                              row.sourceOfFrom.y + y - row.drawnFrom.y)
                                           : grey;
                ASSERT_EQ(surface.At(x, y), expected) << x << "," << y;
            }
    }
}

std::vector<Point> Square(int left, int top, int right, int bottom) {
    return {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
}

std::vector<std::string> Mask(const std::vector<Point>& polygon, int width, int height) {
    std::vector<std::string> rows(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(width), '.'));
    for (const Span& span : PolygonSpans(polygon, width, height))
        for (int x = span.first; x < span.end; ++x)
            rows[static_cast<std::size_t>(span.y)][static_cast<std::size_t>(x)] = '#';
    return rows;
}

TEST(Polygons, PixelCentresDecideAndEdgesGoLeftAndTop) {
    const struct {
        const char* name;
        std::vector<Point> polygon;
        std::vector<std::string> expected;
    } rows[] = {
        {"square on pixel edges", Square(1, 1, 3, 3), {"....", ".##.", ".##.", "...."}},
        {"square from the grid's corner", Square(0, 0, 3, 4), {"###.", "###.", "###.", "###."}},
        {"a line has no area", {{1, 0}, {1, 4}}, {"....", "....", "....", "...."}},
        // The diagonal is the right edge and runs through the centres of the pixels on it.
        {"diagonal triangle", {{0, 0}, {4, 4}, {0, 4}}, {"....", "#...", "##..", "###."}},
        {"same triangle reversed (winding either way)", {{0, 4}, {4, 4}, {0, 0}}, {"....", "#...", "##..", "###."}},
        {"diagonal as the left edge", {{0, 0}, {4, 0}, {4, 4}}, {"####", ".###", "..##", "...#"}},
        {"reaching beyond the grid", Square(-5, -5, 2, 9), {"##..", "##..", "##..", "##.."}},
        {"closed by repeating the first point", {{0, 0}, {4, 0}, {4, 4}, {0, 0}}, {"####", ".###", "..##", "...#"}},
    };
    for (const auto& row : rows) EXPECT_EQ(Mask(row.polygon, 4, 4), row.expected) << row.name;
}

TEST(Polygons, CentreExactlyOnALeftEdgeIsInsideAndOnARightEdgeOutside) {
    // Both sloped edges pass through pixel centres on every row: the left one through
    // (y + 0.5, y + 0.5), the right one through (y + 2.5, y + 0.5).
    EXPECT_EQ(Mask({{0, 0}, {2, 0}, {6, 4}, {4, 4}}, 6, 4),
              (std::vector<std::string>{"##....", ".##...", "..##..", "...##."}));
}

TEST(Polygons, DrawingChangesOnlyThePixelsInside) {
    RgbImage surface = RgbImage::Filled(504, 504, {240, 240, 240});
    const RgbImage face = CoordinateImage(504, 504);
    const std::vector<Point> triangle = {{0, 0}, {504, 0}, {0, 504}};
    DrawPolygon(surface, face, triangle);
    EXPECT_EQ(surface.At(10, 10), CoordinateColour(10, 10));
    EXPECT_EQ(surface.At(502, 0), CoordinateColour(502, 0));
    EXPECT_EQ(surface.At(400, 400), (Rgb{240, 240, 240}));
    EXPECT_EQ(surface.At(252, 251), (Rgb{240, 240, 240}));  // its centre lies on the right edge
}

}  // namespace
}  // namespace zenivor::test
