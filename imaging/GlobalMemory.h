#pragma once
// Movable memory blocks addressed by handle, with the lock / unlock / free contract the image
// library's RGB buffers follow: the library allocates, the caller locks to get the address,
// then unlocks and frees through the handle.

#include <cstddef>
#include <cstdint>

namespace zenivor {

using HGLOBAL = std::uintptr_t;  // 0 names no block

// System error codes, as the memory calls report them through GetLastError().
enum SystemError : std::uint32_t {
    kErrorSuccess = 0,
    kErrorInvalidHandle = 6,    // the handle names no live block
    kErrorNotEnoughMemory = 8,  // the allocation was refused
    kErrorNotLocked = 158,      // unlock of a block that is not locked
};

// Allocates an uninitialised block; 0 when the memory is not there.
HGLOBAL GlobalAlloc(std::size_t bytes);
// The block's address, counting one more lock; null for an unknown handle.
void* GlobalLock(HGLOBAL block);
// Counts one lock less; false once the block is no longer locked or the handle is unknown.
bool GlobalUnlock(HGLOBAL block);
// Releases the block; returns 0 on success and the handle itself on failure.
HGLOBAL GlobalFree(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);
// The code of the last failed memory call on this thread.
std::uint32_t GetLastError();

// True when [address, address + bytes) lies inside one locked block. The library checks every
// pixel address it is handed, so a wrong size never reads or writes past a buffer.
bool IsLockedRange(const void* address, std::size_t bytes);
// How many blocks are alive; tests use it to prove that nothing leaks.
std::size_t GlobalBlockCount();

}  // namespace zenivor
