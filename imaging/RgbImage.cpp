#include "imaging/RgbImage.h"

namespace zenivor {

RgbImage RgbImage::Unfilled(int width, int height) {
    RgbImage image;
    image.Resize(width, height);
    return image;
}

RgbImage RgbImage::Filled(int width, int height, Rgb colour) {
    RgbImage image = Unfilled(width, height);
    for (std::size_t at = 0; at < image.pixels.size(); at += 3)
        image.pixels[at] = colour[0], image.pixels[at + 1] = colour[1], image.pixels[at + 2] = colour[2];
    return image;
}

void RgbImage::Resize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    pixels.resize(static_cast<std::size_t>(newWidth) * static_cast<std::size_t>(newHeight) * 3);
}

}  // namespace zenivor
