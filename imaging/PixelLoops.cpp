#include "imaging/PixelLoops.h"

// Baseline x86-64 has no byte shuffle, so there the loop is also built for SSSE3 and AVX2 and
// the loader picks the best the processor has. Not under the sanitizers, which must be set up
// before the loader's early choice runs.
#if defined(__x86_64__) && defined(__ELF__) && !defined(ZENIVOR_SANITIZED)
#define ZENIVOR_PIXEL_LOOP __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define ZENIVOR_PIXEL_LOOP
#endif

namespace zenivor {

ZENIVOR_PIXEL_LOOP void ReversePixels(std::uint8_t* pixels, std::size_t count) {
    if (count < 2) return;
    for (std::size_t left = 0, right = 3 * (count - 1); left < right; left += 3, right -= 3) {
        const std::uint8_t a = pixels[left], b = pixels[left + 1], c = pixels[left + 2];
        pixels[left] = pixels[right], pixels[left + 1] = pixels[right + 1], pixels[left + 2] = pixels[right + 2];
        pixels[right] = a, pixels[right + 1] = b, pixels[right + 2] = c;
    }
}

}  // namespace zenivor
