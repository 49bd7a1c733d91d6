#include "imaging/ImageOps.h"
#include "imaging/PixelLoops.h"
#include "imaging/Symmetry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zenivor {
namespace {

// Smallest integer n with n >= numerator / denominator, for denominator > 0.
std::int64_t CeilDiv(std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t quotient = numerator / denominator;
    return quotient + ((numerator % denominator != 0 && numerator > 0) ? 1 : 0);
}

struct Crossing {
    std::int64_t firstPixel;  // the first pixel whose centre lies at or right of the edge
    int direction;
};

// The edges that cross the line through row y's pixel centres, left to right, into crossings
// (reused from row to row).
void CrossingsOfRow(std::span<const Point> points, int y, std::vector<Crossing>& crossings) {
    crossings.clear();
    const std::int64_t centreY2 = 2 * static_cast<std::int64_t>(y) + 1;  // doubled, so it is whole
    for (std::size_t i = 0; i < points.size(); ++i) {
        Point a = points[i];
        Point b = points[(i + 1) % points.size()];
        if (a.y == b.y) continue;
        const int direction = a.y < b.y ? 1 : -1;
        if (a.y > b.y) std::swap(a, b);
        // Half-open in y: a centre on the upper end counts, on the lower end not (top edges in).
        if (centreY2 < 2 * static_cast<std::int64_t>(a.y) || centreY2 >= 2 * static_cast<std::int64_t>(b.y)) continue;
        // Crossing x = a.x + (cy - a.y) (b.x - a.x) / (b.y - a.y); first pixel px with px + 0.5 >= x.
        const std::int64_t dy = b.y - a.y;
        const std::int64_t crossing2 = 2 * static_cast<std::int64_t>(a.x) * dy + (centreY2 - 2 * a.y) * (b.x - a.x);
        crossings.push_back({CeilDiv(crossing2 - dy, 2 * dy), direction});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& l, const Crossing& r) { return l.firstPixel < r.firstPixel; });
}

}  // namespace

void DrawCrop(RgbImage& target, int targetX, int targetY, const RgbImage& source, int sourceX, int sourceY, int width,
              int height) {
    // Clip the rectangle to both images, moving both corners alike.
    const int left = std::max({0, -targetX, -sourceX});
    const int top = std::max({0, -targetY, -sourceY});
    const int right = std::min({width, target.width - targetX, source.width - sourceX});
    const int bottom = std::min({height, target.height - targetY, source.height - sourceY});
    if (left >= right || top >= bottom) return;
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 3;
    for (int y = top; y < bottom; ++y)
        std::memcpy(target.Row(targetY + y) + static_cast<std::size_t>(targetX + left) * 3,
                    source.Row(sourceY + y) + static_cast<std::size_t>(sourceX + left) * 3, bytes);
}

void FlipHorizontally(RgbImage& image) {
    for (int y = 0; y < image.height; ++y) {
        if (image.width > 0) ReversePixels(image.Row(y), static_cast<std::size_t>(image.width));
    }
}

RgbImage Turned(const RgbImage& image, Turn turn) {
    switch (turn) {
        case Turn::Clockwise: return Transformed(image, Symmetry::TurnClockwise());
        case Turn::Half: return Transformed(image, Symmetry::TurnHalf());
        case Turn::CounterClockwise: return Transformed(image, Symmetry::TurnCounterClockwise());
    }
    return image;
}

std::vector<Span> PolygonSpans(std::span<const Point> polygon, int width, int height) {
    std::vector<Span> spans;
    std::vector<Crossing> crossings;
    for (int y = 0; y < height; ++y) {
        int winding = 0;
        std::int64_t spanStart = 0;
        CrossingsOfRow(polygon, y, crossings);
        for (const Crossing& crossing : crossings) {
            const std::int64_t spanEnd = std::clamp<std::int64_t>(crossing.firstPixel, 0, width);
            if (winding != 0 && spanEnd > spanStart)
                spans.push_back({y, static_cast<int>(spanStart), static_cast<int>(spanEnd)});
            winding += crossing.direction;
            spanStart = std::max(spanStart, spanEnd);
        }
    }
    return spans;
}

void DrawPolygon(RgbImage& target, const RgbImage& source, std::span<const Point> polygon) {
    const int width = std::min(target.width, source.width);
    const int height = std::min(target.height, source.height);
    for (const Span& span : PolygonSpans(polygon, width, height))
        std::memcpy(target.Row(span.y) + static_cast<std::size_t>(span.first) * 3,
                    source.Row(span.y) + static_cast<std::size_t>(span.first) * 3,
                    static_cast<std::size_t>(span.end - span.first) * 3);
}

}  // namespace zenivor
