#include "imaging/DrawingSurface.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace zenivor {
namespace {

struct Polygon {
    std::vector<POINT> points;
    int fillMode = kWinding;
};

struct Regions {
    std::mutex mutex;
    std::map<HRGN, Polygon> polygons;
    HRGN next = 1;
};

Regions& TheRegions() {
    static Regions regions;
    return regions;
}

// Smallest integer n with n >= numerator / denominator, for denominator > 0.
std::int64_t CeilDiv(std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t quotient = numerator / denominator;
    return quotient + ((numerator % denominator != 0 && numerator > 0) ? 1 : 0);
}

struct Crossing {
    std::int64_t firstPixel;  // the first pixel whose centre lies at or right of the edge
    int direction;
};

// The edges that cross the scanline through row y's pixel centres, left to right.
std::vector<Crossing> CrossingsOfRow(const std::vector<POINT>& points, int y) {
    std::vector<Crossing> crossings;
    const std::int64_t centreY2 = 2 * static_cast<std::int64_t>(y) + 1;  // doubled, so it is whole
    for (std::size_t i = 0; i < points.size(); ++i) {
        POINT a = points[i];
        POINT b = points[(i + 1) % points.size()];
        if (a.y == b.y) continue;
        const int direction = a.y < b.y ? 1 : -1;
        if (a.y > b.y) std::swap(a, b);
        if (centreY2 < 2 * static_cast<std::int64_t>(a.y) || centreY2 >= 2 * static_cast<std::int64_t>(b.y)) continue;
        // Crossing x = a.x + (cy - a.y) (b.x - a.x) / (b.y - a.y); first pixel px with px + 0.5 >= x.
        const std::int64_t dy = b.y - a.y;
        const std::int64_t crossing2 = 2 * a.x * dy + (centreY2 - 2 * a.y) * (b.x - a.x);  // 2x * dy
        crossings.push_back({CeilDiv(crossing2 - dy, 2 * dy), direction});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& l, const Crossing& r) { return l.firstPixel < r.firstPixel; });
    return crossings;
}

}  // namespace

int DeviceContext::Save() {
    saved_.push_back(clip_);
    return static_cast<int>(saved_.size());
}

bool DeviceContext::Restore(int level) {
    if (level < 0) level += static_cast<int>(saved_.size()) + 1;  // relative, as in GDI
    if (level <= 0 || level > static_cast<int>(saved_.size())) return false;
    clip_ = std::move(saved_[static_cast<std::size_t>(level - 1)]);
    saved_.resize(static_cast<std::size_t>(level - 1));
    return true;
}

DrawingSurface::DrawingSurface(Rgb background)
    : background_(background), pixels_(static_cast<std::size_t>(kSize) * kSize * 3), dc_(*this) {
    Clear();
}

void DrawingSurface::Clear() {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) std::copy(background_.begin(), background_.end(), &pixels_[i]);
}

Rgb DrawingSurface::PixelAt(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)) * 3;
    return {pixels_[at], pixels_[at + 1], pixels_[at + 2]};
}

std::vector<std::uint8_t> RasterizePolygon(const std::vector<POINT>& points, int fillMode, int width, int height) {
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = mask.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        int winding = 0;
        std::int64_t spanStart = 0;
        for (const Crossing& crossing : CrossingsOfRow(points, y)) {
            const std::int64_t spanEnd = std::clamp<std::int64_t>(crossing.firstPixel, 0, width);
            if (fillMode == kWinding ? winding != 0 : (winding & 1) != 0)
                std::fill(row + spanStart, row + std::max(spanStart, spanEnd), std::uint8_t{1});
            winding += crossing.direction;
            spanStart = std::max(spanStart, spanEnd);
        }
    }
    return mask;
}

HRGN CreatePolygonRgn(const POINT* points, int count, int fillMode) {
    if (points == nullptr || count < 2 || (fillMode != kWinding && fillMode != kAlternate)) return 0;
    auto& regions = TheRegions();
    std::lock_guard lock(regions.mutex);
    const HRGN handle = regions.next++;
    regions.polygons.emplace(handle, Polygon{std::vector<POINT>(points, points + count), fillMode});
    return handle;
}

bool DeleteObject(HRGN region) {
    auto& regions = TheRegions();
    std::lock_guard lock(regions.mutex);
    return regions.polygons.erase(region) == 1;
}

int SaveDC(HDC dc) { return dc == nullptr ? 0 : dc->Save(); }

bool RestoreDC(HDC dc, int level) { return dc != nullptr && dc->Restore(level); }

int SelectClipRgn(HDC dc, HRGN region) {
    if (dc == nullptr) return kRegionError;
    if (region == 0) {
        dc->SetClipMask({});
        return kNullRegion;
    }
    Polygon polygon;
    {
        auto& regions = TheRegions();
        std::lock_guard lock(regions.mutex);
        const auto found = regions.polygons.find(region);
        if (found == regions.polygons.end()) return kRegionError;
        polygon = found->second;
    }
    const DrawingSurface& surface = dc->Surface();
    dc->SetClipMask(RasterizePolygon(polygon.points, polygon.fillMode, surface.Width(), surface.Height()));
    return kComplexRegion;
}

std::size_t RegionCount() {
    auto& regions = TheRegions();
    std::lock_guard lock(regions.mutex);
    return regions.polygons.size();
}

}  // namespace zenivor
