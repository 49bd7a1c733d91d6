#include "imaging/GlobalMemory.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace zenivor {
namespace {

struct Block {
    std::unique_ptr<unsigned char[]> data;
    std::size_t size = 0;
    int locks = 0;
};

struct Heap {
    std::mutex mutex;
    std::map<HGLOBAL, Block> blocks;
    HGLOBAL nextHandle = 1;
};

Heap& TheHeap() {
    static Heap heap;
    return heap;
}

thread_local std::uint32_t lastError = kErrorSuccess;

Block* Find(Heap& heap, HGLOBAL handle) {
    const auto found = heap.blocks.find(handle);
    if (found != heap.blocks.end()) return &found->second;
    lastError = kErrorInvalidHandle;
    return nullptr;
}

}  // namespace

HGLOBAL GlobalAlloc(std::size_t bytes) {
    std::unique_ptr<unsigned char[]> data(new (std::nothrow) unsigned char[bytes == 0 ? 1 : bytes]);
    if (!data) {
        lastError = kErrorNotEnoughMemory;
        return 0;
    }
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    const HGLOBAL handle = heap.nextHandle++;
    heap.blocks.emplace(handle, Block{std::move(data), bytes, 0});
    return handle;
}

void* GlobalLock(HGLOBAL handle) {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Find(heap, handle);
    if (block == nullptr) return nullptr;
    ++block->locks;
    return block->data.get();
}

bool GlobalUnlock(HGLOBAL handle) {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    Block* block = Find(heap, handle);
    if (block == nullptr) return false;
    if (block->locks == 0) {
        lastError = kErrorNotLocked;
        return false;
    }
    return --block->locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    if (heap.blocks.erase(handle) == 1) return 0;
    lastError = kErrorInvalidHandle;
    return handle;
}

std::size_t GlobalSize(HGLOBAL handle) {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    const Block* block = Find(heap, handle);
    return block == nullptr ? 0 : block->size;
}

std::uint32_t GetLastError() { return lastError; }

bool IsLockedRange(const void* address, std::size_t bytes) {
    if (address == nullptr) return false;
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    const auto* start = static_cast<const unsigned char*>(address);
    for (const auto& [handle, block] : heap.blocks) {
        const unsigned char* begin = block.data.get();
        // Compare as integers: relational operators on pointers into different arrays are unspecified.
        const auto at = reinterpret_cast<std::uintptr_t>(start);
        const auto lo = reinterpret_cast<std::uintptr_t>(begin);
        if (block.locks > 0 && at >= lo && at - lo <= block.size && bytes <= block.size - (at - lo)) return true;
    }
    return false;
}

std::size_t GlobalBlockCount() {
    auto& heap = TheHeap();
    std::lock_guard lock(heap.mutex);
    return heap.blocks.size();
}

}  // namespace zenivor
