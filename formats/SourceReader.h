#pragma once
// Reads a ByteSource front to back through one small buffer. The decoding libraries pull their
// bytes through it, so a decoder holds at most one chunk of the file, and the bytes after the
// image are never asked for beyond that one chunk of read-ahead.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/ByteSource.h"
#include "util/FileSystem.h"
#include "util/Result.h"

namespace zenivor::formats {

class SourceReader {
public:
    explicit SourceReader(ByteSource& source) : source_(source), buffer_(kReadChunkBytes) {}

    // The next bytes, at most one chunk; empty at the end of the source or after a failed read.
    std::span<const std::uint8_t> NextChunk();
    // Fills out whole; false when the source ends first or a read fails.
    bool ReadExactly(std::span<std::uint8_t> out);
    // Moves past count bytes without reading them.
    void Skip(std::uint64_t count);
    // The source's own error, once a read has failed.
    const std::optional<Error>& Failure() const { return failure_; }

private:
    // Refills the buffer from the source; false at its end or on failure.
    bool Refill();

    ByteSource& source_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t nextOffset_ = 0;   // where the source is read next
    std::size_t bufferedBegin_ = 0;  // the unread part of buffer_
    std::size_t bufferedEnd_ = 0;
    std::optional<Error> failure_;
};

}  // namespace zenivor::formats
