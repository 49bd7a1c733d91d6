#pragma once
// The loop over packed 3-byte pixels that every mirrored face goes through.

#include <cstddef>
#include <cstdint>

namespace zenivor {

// count pixels in reverse order, in place.
void ReversePixels(std::uint8_t* pixels, std::size_t count);

}  // namespace zenivor
