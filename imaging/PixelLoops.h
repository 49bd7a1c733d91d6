#pragma once
// The loops over packed 3-byte pixels that every face goes through several times.

#include <cstddef>
#include <cstdint>

namespace zenivor {

// count pixels from source to target with the first and third byte of each exchanged.
void CopySwappingOuterBytes(const std::uint8_t* source, std::size_t count, std::uint8_t* target);
// The same in place.
void SwapOuterBytes(std::uint8_t* pixels, std::size_t count);
// count pixels in reverse order, in place.
void ReversePixels(std::uint8_t* pixels, std::size_t count);

}  // namespace zenivor
