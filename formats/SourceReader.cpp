#include "formats/SourceReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zenivor::formats {

bool SourceReader::Refill() {
    if (failure_) return false;
    const Result<std::size_t> got = source_.ReadAt(nextOffset_, buffer_);
    if (!got) {
        failure_ = got.Error();
        return false;
    }
    nextOffset_ += *got;
    bufferedBegin_ = 0;
    bufferedEnd_ = *got;
    return *got != 0;
}

std::span<const std::uint8_t> SourceReader::NextChunk() {
    if (bufferedBegin_ == bufferedEnd_ && !Refill()) return {};
    const std::span<const std::uint8_t> chunk(buffer_.data() + bufferedBegin_, bufferedEnd_ - bufferedBegin_);
    bufferedBegin_ = bufferedEnd_;
    return chunk;
}

bool SourceReader::ReadExactly(std::span<std::uint8_t> out) {
    while (!out.empty()) {
        if (bufferedBegin_ == bufferedEnd_ && !Refill()) return false;
        const std::size_t count = std::min(out.size(), bufferedEnd_ - bufferedBegin_);
        std::memcpy(out.data(), buffer_.data() + bufferedBegin_, count);
        bufferedBegin_ += count;
        out = out.subspan(count);
    }
    return true;
}

void SourceReader::Skip(std::uint64_t count) {
    const std::size_t buffered = bufferedEnd_ - bufferedBegin_;
    if (count <= buffered) {
        bufferedBegin_ += static_cast<std::size_t>(count);
        return;
    }
    const std::uint64_t beyond = count - buffered;
    nextOffset_ = beyond > UINT64_MAX - nextOffset_ ? UINT64_MAX : nextOffset_ + beyond;
    bufferedBegin_ = bufferedEnd_ = 0;
}

}  // namespace zenivor::formats
