#pragma once
// Where a decoder's bytes come from: a file read by offset, or bytes in memory (the tests and
// the fuzzers). Decoders read only the parts a header declares, so a file's size never decides
// how much memory a read takes.

#include <cstdint>
#include <span>

#include "util/Result.h"

namespace zenivor {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads up to out.size() bytes at offset; fewer only where the source ends.
    virtual Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    // Reads the bytes at offset into the pieces one after the other, as one read where the source
    // can; the count is short only where the source ends.
    virtual Result<std::size_t> ReadScatteredAt(std::uint64_t offset, std::span<const std::span<std::uint8_t>> pieces);
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Reads exactly out.size() bytes at offset; a source that ends first gives shortError.
Result<void> ReadExactly(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out, ErrorKind shortError);
// The same, filling the pieces in turn.
Result<void> ReadExactly(ByteSource& source, std::uint64_t offset, std::span<const std::span<std::uint8_t>> pieces,
                         ErrorKind shortError);

}  // namespace zenivor
