#include "legacy/modFString.h"

#include <limits>
#include <optional>

#include "legacy/ErrorText.h"

namespace zenivor {
namespace {

// Positions and counters are 16-bit: a value outside that range is an overflow.
std::optional<long> Checked(long value) {
    if (value > std::numeric_limits<std::int16_t>::max() || value < std::numeric_limits<std::int16_t>::min())
        return std::nullopt;
    return value;
}

// 1-based position of the first match at or after start, 0 for none; an empty delimiter
// matches at start itself. Empty when the match lies beyond the 16-bit range.
std::optional<long> Find(const std::u16string& source, const std::u16string& delimiter, long start) {
    if (delimiter.empty()) return start;
    const auto at = source.find(delimiter, static_cast<std::size_t>(start - 1));
    return at == std::u16string::npos ? 0 : Checked(static_cast<long>(at) + 1);
}

// The element, or nothing when a position or counter overflows.
std::optional<std::u16string> Element(const std::u16string& source, const std::u16string& delimiter,
                                      std::int16_t index) {
    const std::optional<long> length = Checked(static_cast<long>(delimiter.size()));
    if (!length) return std::nullopt;
    long start = 1;
    for (long count = 0;; ++count) {
        const std::optional<long> match = Find(source, delimiter, start);
        if (!match) return std::nullopt;
        const auto from = static_cast<std::size_t>(start - 1);
        if (count == index) {
            if (*match != 0) return source.substr(from, static_cast<std::size_t>(*match - start));
            return from >= source.size() ? std::u16string() : source.substr(from);
        }
        if (*match == 0) return std::u16string();
        const std::optional<long> next = Checked(*match + *length);
        if (!next || !Checked(count + 1)) return std::nullopt;
        start = *next;
    }
}

}  // namespace

std::u16string GetElement(const std::u16string& source, const std::u16string& delimiter, std::int16_t index,
                          MessageReporter& reporter) {
    if (source.empty()) return {};
    std::optional<std::u16string> element = Element(source, delimiter, index);
    if (element) return std::move(*element);
    reporter.Report("GetElement: " + SignedNumberText(kOverflowError) + " - 0");
    return {};
}

}  // namespace zenivor
