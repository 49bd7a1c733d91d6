#include "imaging/PixelLoops.h"

namespace zenivor {

void ReversePixels(std::uint8_t* pixels, std::size_t count) {
    if (count < 2) return;
    for (std::size_t left = 0, right = 3 * (count - 1); left < right; left += 3, right -= 3) {
        const std::uint8_t a = pixels[left], b = pixels[left + 1], c = pixels[left + 2];
        pixels[left] = pixels[right], pixels[left + 1] = pixels[right + 1], pixels[left + 2] = pixels[right + 2];
        pixels[right] = a, pixels[right + 1] = b, pixels[right + 2] = c;
    }
}

}  // namespace zenivor
