#include "imaging/ByteSource.h"

#include <algorithm>
#include <cstring>

namespace zenivor {

Result<std::size_t> MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset >= bytes_.size()) return std::size_t{0};
    const std::size_t count = std::min<std::size_t>(out.size(), bytes_.size() - offset);
    if (count != 0) std::memcpy(out.data(), bytes_.data() + offset, count);
    return count;
}

Result<std::size_t> ByteSource::ReadScatteredAt(std::uint64_t offset, std::span<const std::span<std::uint8_t>> pieces) {
    std::size_t done = 0;
    for (const std::span<std::uint8_t> piece : pieces) {
        const Result<std::size_t> got = ReadAt(offset + done, piece);
        if (!got) return got.Error();
        done += *got;
        if (*got != piece.size()) break;
    }
    return done;
}

Result<void> ReadExactly(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> out, ErrorKind shortError) {
    return ReadExactly(source, offset, {&out, 1}, shortError);
}

Result<void> ReadExactly(ByteSource& source, std::uint64_t offset, std::span<const std::span<std::uint8_t>> pieces,
                         ErrorKind shortError) {
    const Result<std::size_t> got = source.ReadScatteredAt(offset, pieces);
    if (!got) return got.Error();
    std::size_t wanted = 0;
    for (const std::span<std::uint8_t> piece : pieces) wanted += piece.size();
    if (*got != wanted) return Error{shortError};
    return {};
}

}  // namespace zenivor
