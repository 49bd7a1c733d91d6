#pragma once
// The one image type: width x height pixels, top row first, three bytes each. The bytes are kept
// in the order blue, green, red, as TGA stores them, so that reading and writing a face is a
// plain copy; At and Set speak red, green, blue. A plain value: copying copies the pixels, and
// nothing else owns them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "util/LargeBlocks.h"

namespace zenivor {

// Red, green, blue.
using Rgb = std::array<std::uint8_t, 3>;

// A pixel's place: x across from the left, y down from the top.
struct Point {
    int x;
    int y;
};

struct ImageSize {
    int width = 0;
    int height = 0;
    bool operator==(const ImageSize&) const = default;
};

// Leaves new bytes uninitialised: every buffer is written whole before it is read, and
// zero-filling megabytes first only costs page faults. Large buffers go into huge pages.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    // NOLINTNEXTLINE(readability-identifier-naming): the names the allocator requirements give
    T* allocate(std::size_t count) {
        if (count * sizeof(T) < kLargeBlockBytes) return std::allocator<T>::allocate(count);
        return static_cast<T*>(AllocateLargeBlock(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept {  // NOLINT(readability-identifier-naming)
        if (count * sizeof(T) < kLargeBlockBytes)
            std::allocator<T>::deallocate(block, count);
        else
            FreeLargeBlock(block);
    }
    template <typename U>
    struct rebind {  // NOLINT(readability-identifier-naming): the name the allocator requirements give
        using other = UninitialisedAllocator<U>;  // NOLINT(readability-identifier-naming): likewise
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using PixelBytes = std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>>;

struct RgbImage {
    int width = 0;
    int height = 0;
    PixelBytes pixels;  // width * height * 3 bytes

    // An image whose pixels are left for the caller to write.
    static RgbImage Unfilled(int width, int height);
    static RgbImage Filled(int width, int height, Rgb colour);
    // Makes this image width x height, keeping its buffer when it is large enough.
    void Resize(int width, int height);

    bool Empty() const { return width == 0 || height == 0; }
    std::size_t RowBytes() const { return static_cast<std::size_t>(width) * 3; }
    std::uint8_t* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    const std::uint8_t* Row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * RowBytes(); }
    Rgb At(int x, int y) const {
        const std::uint8_t* p = Row(y) + static_cast<std::size_t>(x) * 3;
        return {p[2], p[1], p[0]};
    }
    void Set(int x, int y, Rgb colour) { Store(Row(y) + static_cast<std::size_t>(x) * 3, colour); }
    // Writes one pixel's bytes in the stored order.
    static void Store(std::uint8_t* pixel, Rgb colour) {
        pixel[0] = colour[2], pixel[1] = colour[1], pixel[2] = colour[0];
    }
    bool operator==(const RgbImage& other) const = default;
};

}  // namespace zenivor
