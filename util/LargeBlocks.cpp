#include "util/LargeBlocks.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace zenivor {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* AllocateLargeBlock(std::size_t bytes) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (block == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    (void)::madvise(block, rounded, MADV_HUGEPAGE);  // a hint: without it, ordinary pages
#endif
    return block;
}

void FreeLargeBlock(void* block) { std::free(block); }

}  // namespace zenivor
