#include "imaging/RgbImage.h"

#include <cstring>

namespace zenivor {

RgbImage RgbImage::Unfilled(int width, int height) {
    RgbImage image;
    image.Resize(width, height);
    return image;
}

RgbImage RgbImage::Filled(int width, int height, Rgb colour) {
    RgbImage image = Unfilled(width, height);
    if (image.Empty()) return image;
    // One row pixel by pixel, the others copied from it.
    std::uint8_t* first = image.Row(0);
    for (std::size_t at = 0; at < image.RowBytes(); at += 3) Store(first + at, colour);
    for (int y = 1; y < height; ++y) std::memcpy(image.Row(y), first, image.RowBytes());
    return image;
}

void RgbImage::Resize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixels.resize(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight) * 3);
}

}  // namespace zenivor
