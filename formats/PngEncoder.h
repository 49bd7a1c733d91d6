#pragma once
// PNG through libpng, for the pictures the program writes beside a cube.

#include <cstdint>
#include <span>
#include <vector>

#include "util/Result.h"

namespace zenivor::formats {

// width x height pixels of red, green, blue and alpha, top row first, as a PNG file's bytes.
Result<std::vector<std::uint8_t>> EncodePngRgba(std::span<const std::uint8_t> rgba, int width, int height);

}  // namespace zenivor::formats
