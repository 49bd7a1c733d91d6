#include "imaging/PixelLoops.h"

#include <algorithm>
#include <cstring>

// Baseline x86-64 has no byte shuffle, so there each loop is also built for SSSE3 and AVX2 and
// the loader picks the best the processor has. Not under the sanitizers, which must be set up
// before the loader's early choice runs.
#if defined(__x86_64__) && defined(__ELF__) && !defined(ZENIVOR_SANITIZED)
#define ZENIVOR_PIXEL_LOOP __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define ZENIVOR_PIXEL_LOOP
#endif

namespace zenivor {

ZENIVOR_PIXEL_LOOP void CopySwappingOuterBytes(const std::uint8_t* __restrict source, std::size_t count,
                                               std::uint8_t* __restrict target) {
    for (std::size_t i = 0; i < 3 * count; i += 3) {
        target[i] = source[i + 2];
        target[i + 1] = source[i + 1];
        target[i + 2] = source[i];
    }
}

// Through a small copy, so the exchange runs as the vectorised copy does.
void SwapOuterBytes(std::uint8_t* pixels, std::size_t count) {
    constexpr std::size_t kBlock = 256;
    std::uint8_t block[3 * kBlock];
    for (std::size_t done = 0; done < count; done += kBlock) {
        const std::size_t n = std::min(kBlock, count - done);
        std::memcpy(block, pixels + 3 * done, 3 * n);
        CopySwappingOuterBytes(block, n, pixels + 3 * done);
    }
}

ZENIVOR_PIXEL_LOOP void ReversePixels(std::uint8_t* pixels, std::size_t count) {
    if (count < 2) return;
    for (std::size_t left = 0, right = 3 * (count - 1); left < right; left += 3, right -= 3) {
        const std::uint8_t a = pixels[left], b = pixels[left + 1], c = pixels[left + 2];
        pixels[left] = pixels[right], pixels[left + 1] = pixels[right + 1], pixels[left + 2] = pixels[right + 2];
        pixels[right] = a, pixels[right + 1] = b, pixels[right + 2] = c;
    }
}

}  // namespace zenivor
