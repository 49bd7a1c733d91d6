#pragma once
// The drawing surface: a persistent 24-bit pixel store with a device context that honours a
// polygon clip region. Stands in for a picture box with a backing image and the GDI calls
// made on it; no display is needed, and the window shows these same pixels.

#include <array>
#include <cstdint>
#include <vector>

namespace zenivor {

struct POINT {
    std::int32_t x;
    std::int32_t y;
};

using Rgb = std::array<std::uint8_t, 3>;
using HRGN = std::uintptr_t;  // 0 names no region

inline constexpr int kWinding = 2;  // fill mode of CreatePolygonRgn
inline constexpr int kAlternate = 1;
// SelectClipRgn results.
inline constexpr int kRegionError = 0;
inline constexpr int kNullRegion = 1;
inline constexpr int kComplexRegion = 3;

class DrawingSurface;

// Drawing state of one surface: the clip mask and the stack of saved states.
class DeviceContext {
public:
    explicit DeviceContext(DrawingSurface& surface) : surface_(surface) {}
    DrawingSurface& Surface() const { return surface_; }
    // Non-zero where drawing may change the pixel; empty when nothing clips.
    const std::vector<std::uint8_t>& ClipMask() const { return clip_; }
    void SetClipMask(std::vector<std::uint8_t> mask) { clip_ = std::move(mask); }
    int Save();
    bool Restore(int level);
    int SavedLevels() const { return static_cast<int>(saved_.size()); }

private:
    DrawingSurface& surface_;
    std::vector<std::uint8_t> clip_;
    std::vector<std::vector<std::uint8_t>> saved_;
};

using HDC = DeviceContext*;

class DrawingSurface {
public:
    static constexpr int kSize = 504;
    // The toolkit's button face, the colour of a cleared picture box.
    static constexpr Rgb kDefaultBackground{240, 240, 240};

    explicit DrawingSurface(Rgb background = kDefaultBackground);
    DrawingSurface(const DrawingSurface&) = delete;
    DrawingSurface& operator=(const DrawingSurface&) = delete;

    int Width() const { return kSize; }
    int Height() const { return kSize; }
    HDC Dc() { return &dc_; }
    // Fills the whole image with the background colour.
    void Clear();
    void SetBackground(Rgb background) { background_ = background; }
    Rgb Background() const { return background_; }
    // RGB, top row first, Width() x Height() pixels.
    const std::uint8_t* Pixels() const { return pixels_.data(); }
    std::uint8_t* Pixels() { return pixels_.data(); }
    Rgb PixelAt(int x, int y) const;

private:
    Rgb background_;
    std::vector<std::uint8_t> pixels_;
    DeviceContext dc_;
};

// The GDI calls the conversion makes, on our surface.
HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode);
bool DeleteObject(HRGN region);
int SaveDC(HDC dc);
bool RestoreDC(HDC dc, int level);
// Clips later drawing to a copy of the region; region 0 removes the clip.
int SelectClipRgn(HDC dc, HRGN region);
// How many regions are alive; tests use it to prove that nothing leaks.
std::size_t RegionCount();

// Which pixels of a width x height grid a polygon covers: a pixel belongs to it when its
// centre lies inside; a centre exactly on an edge belongs to it on left and top edges only.
std::vector<std::uint8_t> RasterizePolygon(const std::vector<POINT>& points, int fillMode, int width, int height);

}  // namespace zenivor
