#pragma once
// Memory for large images: blocks of many megabytes, aligned to and backed by huge pages where
// the kernel offers them (madvise), so that filling a 100 MB panorama takes a few dozen page
// faults instead of tens of thousands.

#include <cstddef>

namespace zenivor {

// Blocks of at least this many bytes are large ones.
inline constexpr std::size_t kLargeBlockBytes = std::size_t{8} << 20;

// A block of bytes (at least kLargeBlockBytes); throws std::bad_alloc when there is no room.
void* AllocateLargeBlock(std::size_t bytes);
void FreeLargeBlock(void* block);

}  // namespace zenivor
