#include "imaging/Symmetry.h"

#include <algorithm>
#include <cstring>

#include "imaging/PixelLoops.h"

namespace zenivor {
namespace {

// Each row of the result is a row of the source, forwards or backwards.
void CopyRows(const RgbImage& image, Symmetry symmetry, RgbImage& out) {
    const ImageSize size{image.width, image.height};
    for (int y = 0; y < out.height; ++y) {
        const std::uint8_t* source = image.Row(symmetry.Source({0, y}, size).y);
        std::memcpy(out.Row(y), source, out.RowBytes());
        if (symmetry.a < 0) ReversePixels(out.Row(y), static_cast<std::size_t>(out.width));
    }
}

// Along a row of the result the source moves down or up a column: in tiles, so that the
// column-wise reads stay in the cache.
void CopyTiles(const RgbImage& image, Symmetry symmetry, RgbImage& out) {
    const ImageSize size{image.width, image.height};
    const std::ptrdiff_t step = symmetry.c * static_cast<std::ptrdiff_t>(image.RowBytes());
    constexpr int kTile = 32;
    for (int tileY = 0; tileY < out.height; tileY += kTile)
        for (int tileX = 0; tileX < out.width; tileX += kTile)
            for (int y = tileY; y < std::min(tileY + kTile, out.height); ++y) {
                std::uint8_t* target = out.Row(y) + static_cast<std::size_t>(tileX) * 3;
                const Point first = symmetry.Source({tileX, y}, size);
                const std::uint8_t* source = image.Row(first.y) + static_cast<std::size_t>(first.x) * 3;
                for (int x = tileX; x < std::min(tileX + kTile, out.width); ++x, target += 3, source += step)
                    std::memcpy(target, source, 3);
            }
}

}  // namespace

RgbImage Transformed(const RgbImage& image, Symmetry symmetry) {
    const ImageSize size = symmetry.ResultSize({image.width, image.height});
    RgbImage out = RgbImage::Unfilled(size.width, size.height);
    if (out.Empty()) return out;
    if (symmetry.SwapsSides())
        CopyTiles(image, symmetry, out);
    else
        CopyRows(image, symmetry, out);
    return out;
}

}  // namespace zenivor
