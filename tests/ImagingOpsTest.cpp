// Drawing, reading back, mirroring and turning through the library, and the memory and
// clip-region calls they rest on.

#include <gtest/gtest.h>

#include "imaging/GlobalMemory.h"
#include "imaging/ImgDll.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

class Buffer {
public:
    explicit Buffer(const Image& image) : width_(image.width), height_(image.height), block_(GlobalAlloc(image.rgb.size())) {
        pixels_ = static_cast<std::uint8_t*>(GlobalLock(block_));
        std::copy(image.rgb.begin(), image.rgb.end(), pixels_);
    }
    ~Buffer() {
        GlobalUnlock(block_);
        GlobalFree(block_);
    }
    std::uint8_t* Pixels() const { return pixels_; }
    Image ToImage() const {
        return {width_, height_, std::vector<std::uint8_t>(pixels_, pixels_ + static_cast<std::size_t>(width_) * height_ * 3)};
    }

private:
    int width_;
    int height_;
    HGLOBAL block_;
    std::uint8_t* pixels_;
};

Image SurfaceImage(const DrawingSurface& surface) {
    const std::size_t bytes = static_cast<std::size_t>(surface.Width()) * surface.Height() * 3;
    return {surface.Width(), surface.Height(), std::vector<std::uint8_t>(surface.Pixels(), surface.Pixels() + bytes)};
}

TEST(Transforms, QuarterTurnsAsSeenWhenDrawn) {
    // Each row: rotation code, and where the source pixel of target (x, y) lies in a 3 x 3 image.
    const struct {
        int code;
        int (*sourceX)(int x, int y);
        int (*sourceY)(int x, int y);
    } rows[] = {
        {0, [](int, int y) { return y; }, [](int x, int) { return 2 - x; }},          // clockwise
        {1, [](int x, int) { return 2 - x; }, [](int, int y) { return 2 - y; }},      // half turn
        {2, [](int, int y) { return 2 - y; }, [](int x, int) { return x; }},          // counter-clockwise
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        const Image original = CoordinateImage(3, 3);
        const Buffer buffer(original);
        ASSERT_NE(ImgDLLQuickRotateRGB(buffer.Pixels(), 3, 3, row.code), 0);
        const Image turned = buffer.ToImage();
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(turned.At(x, y), original.At(row.sourceX(x, y), row.sourceY(x, y))) << x << "," << y;
    }
}

TEST(Transforms, ClockwiseTurnPutsTheTopRowOnTheRight) {
    const Buffer buffer(CoordinateImage(4, 4));
    ASSERT_NE(ImgDLLQuickRotateRGB(buffer.Pixels(), 4, 4, 0), 0);
    const Image turned = buffer.ToImage();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(turned.At(3, i), CoordinateColour(i, 0));
}

TEST(Transforms, RefusedRotations) {
    const Buffer square(CoordinateImage(4, 4));
    const Buffer wide(CoordinateImage(6, 4));
    const struct {
        const Buffer* buffer;
        int width;
        int code;
        ImgError expected;
    } rows[] = {{&square, 4, 3, kImgBadRotation}, {&square, 4, -1, kImgBadRotation}, {&wide, 6, 0, kImgNotSquare}};
    for (const auto& row : rows) {
        EXPECT_EQ(ImgDLLQuickRotateRGB(row.buffer->Pixels(), row.width, 4, row.code), 0) << row.code;
        EXPECT_EQ(ImgDLLGetLastError(), row.expected) << row.code;
    }
    EXPECT_EQ(square.ToImage(), CoordinateImage(4, 4));
}

TEST(Transforms, HorizontalFlipMirrorsEveryRow) {
    const Image original = CoordinateImage(5, 2);
    const Buffer buffer(original);
    ASSERT_NE(ImgDLLHorizontalFlipRGB(buffer.Pixels(), 5, 2), 0);
    const Image flipped = buffer.ToImage();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(flipped.At(x, y), original.At(4 - x, y));
}

TEST(Drawing, CropIsCopiedUnscaledAndClippedAtTheSurfaceEdge) {
    DrawingSurface surface;
    const Image strip = CoordinateImage(600, 504);
    const Buffer buffer(strip);
    ASSERT_NE(ImgDLLDrawRGBCrop(surface.Dc(), buffer.Pixels(), 600, 504, 400, 0, 10, 0, 300, 504, 0), 0);
    EXPECT_EQ(surface.PixelAt(399, 0), DrawingSurface::kDefaultBackground);
    EXPECT_EQ(surface.PixelAt(400, 7), CoordinateColour(10, 7));
    EXPECT_EQ(surface.PixelAt(503, 503), CoordinateColour(113, 503));
}

TEST(Drawing, RefusedDraws) {
    DrawingSurface surface;
    const Buffer buffer(CoordinateImage(100, 50));
    std::vector<std::uint8_t> loose(100 * 50 * 3);
    const struct {
        const char* name;
        const void* pixels;
        int srcX, cropWidth, flags;
        ImgError expected;
    } rows[] = {
        {"source beyond the right edge", buffer.Pixels(), 60, 41, 0, kImgOutOfBounds},
        {"negative source", buffer.Pixels(), -1, 10, 0, kImgOutOfBounds},
        {"unknown flags", buffer.Pixels(), 0, 10, 1, kImgBadArgument},
        {"empty crop", buffer.Pixels(), 0, 0, 0, kImgBadArgument},
        {"pixels outside any buffer", loose.data(), 0, 10, 0, kImgBadBuffer},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ImgDLLDrawRGBCrop(surface.Dc(), row.pixels, 100, 50, 0, 0, row.srcX, 0, row.cropWidth, 50, row.flags), 0)
            << row.name;
        EXPECT_EQ(ImgDLLGetLastError(), row.expected) << row.name;
    }
    EXPECT_EQ(SurfaceImage(surface), SurfaceImage(DrawingSurface()));
}

TEST(Drawing, ReadBackReturnsThePixelsDrawn) {
    DrawingSurface surface;
    const Image face = CoordinateImage(504, 504);
    const Buffer buffer(face);
    ASSERT_NE(ImgDLLDrawRGB2(surface.Dc(), buffer.Pixels(), 504, 504, 0, 0, 504, 504), 0);
    const HGLOBAL block = ImgDLLDCToRGB(surface.Dc(), 0, 0, 504, 504);
    ASSERT_NE(block, 0u);
    EXPECT_EQ(GlobalSize(block), face.rgb.size());
    const auto* pixels = static_cast<const std::uint8_t*>(GlobalLock(block));
    EXPECT_TRUE(std::equal(face.rgb.begin(), face.rgb.end(), pixels));
    GlobalUnlock(block);
    GlobalFree(block);
    EXPECT_EQ(ImgDLLDCToRGB(surface.Dc(), 1, 0, 504, 504), 0u);
    EXPECT_EQ(ImgDLLGetLastError(), kImgOutOfBounds);
    EXPECT_EQ(ImgDLLDrawRGB2(surface.Dc(), buffer.Pixels(), 504, 504, 0, 0, 252, 252), 0);  // never scaled
}

std::vector<POINT> Square(int left, int top, int right, int bottom) {
    return {{left, top}, {right, top}, {right, bottom}, {left, bottom}};
}

TEST(ClipRegions, PixelCentresDecideAndEdgesGoLeftAndTop) {
    // A 4 x 4 grid; the covered pixels as rows of '#'.
    const struct {
        const char* name;
        std::vector<POINT> polygon;
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
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto mask = RasterizePolygon(row.polygon, kWinding, 4, 4);
        for (int y = 0; y < 4; ++y) {
            std::string line;
            for (int x = 0; x < 4; ++x) line += mask[static_cast<std::size_t>(y * 4 + x)] ? '#' : '.';
            EXPECT_EQ(line, row.expected[static_cast<std::size_t>(y)]) << "row " << y;
        }
    }
}

TEST(ClipRegions, CentreExactlyOnALeftEdgeIsInsideAndOnARightEdgeOutside) {
    // Both sloped edges of this parallelogram pass through pixel centres on every row: the
    // left one through (y + 0.5, y + 0.5), the right one through (y + 2.5, y + 0.5).
    const std::vector<POINT> parallelogram = {{0, 0}, {2, 0}, {6, 4}, {4, 4}};
    const auto mask = RasterizePolygon(parallelogram, kWinding, 6, 4);
    for (int y = 0; y < 4; ++y) {
        EXPECT_TRUE(mask[static_cast<std::size_t>(y * 6 + y)]) << "left edge through centre, row " << y;
        EXPECT_TRUE(mask[static_cast<std::size_t>(y * 6 + y + 1)]) << "inside, row " << y;
        EXPECT_FALSE(mask[static_cast<std::size_t>(y * 6 + y + 2)]) << "right edge through centre, row " << y;
    }
}

TEST(ClipRegions, DrawingHonoursTheRegionUntilTheContextIsRestored) {
    DrawingSurface surface;
    const Buffer face(CoordinateImage(504, 504));
    const POINT triangle[] = {{0, 0}, {504, 0}, {0, 504}, {0, 0}};
    const HRGN region = CreatePolygonRgn(triangle, 4, kWinding);
    ASSERT_NE(region, 0u);
    const int level = SaveDC(surface.Dc());
    ASSERT_EQ(level, 1);
    ASSERT_NE(SelectClipRgn(surface.Dc(), region), kRegionError);
    ASSERT_NE(ImgDLLDrawRGB2(surface.Dc(), face.Pixels(), 504, 504, 0, 0, 504, 504), 0);
    EXPECT_EQ(surface.PixelAt(10, 10), CoordinateColour(10, 10));
    EXPECT_EQ(surface.PixelAt(400, 400), DrawingSurface::kDefaultBackground);
    EXPECT_TRUE(RestoreDC(surface.Dc(), level));
    EXPECT_TRUE(DeleteObject(region));
    EXPECT_FALSE(DeleteObject(region));
    EXPECT_EQ(SelectClipRgn(surface.Dc(), region), kRegionError);
    EXPECT_FALSE(RestoreDC(surface.Dc(), level));  // nothing saved any more
    ASSERT_NE(ImgDLLDrawRGB2(surface.Dc(), face.Pixels(), 504, 504, 0, 0, 504, 504), 0);
    EXPECT_EQ(surface.PixelAt(400, 400), CoordinateColour(400, 400));
}

TEST(GlobalMemory, LockUnlockFreeContract) {
    const std::size_t before = GlobalBlockCount();
    const HGLOBAL block = GlobalAlloc(12);
    ASSERT_NE(block, 0u);
    void* address = GlobalLock(block);
    EXPECT_TRUE(IsLockedRange(address, 12));
    EXPECT_EQ(GlobalLock(block), address);  // a second lock, same address
    EXPECT_FALSE(IsLockedRange(address, 13));
    EXPECT_TRUE(GlobalUnlock(block));  // still locked once
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_FALSE(IsLockedRange(address, 1));
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GetLastError(), kErrorNotLocked);
    EXPECT_EQ(GlobalFree(block), 0u);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
    EXPECT_EQ(GlobalFree(block), block);
    EXPECT_EQ(GlobalBlockCount(), before);
}

}  // namespace
}  // namespace zenivor::test
