#include "util/modFString.h"

#include <limits>
#include <optional>

#include "util/ErrorText.h"
#include "util/MessageHook.h"

namespace zenivor {
namespace {

constexpr long kMaxPosition = std::numeric_limits<std::int16_t>::max();

struct Overflow {};

long Checked(long value) {
    if (value > kMaxPosition || value < std::numeric_limits<std::int16_t>::min()) throw Overflow{};
    return value;
}

// 1-based position of the first match at or after start, 0 for none; an empty delimiter
// matches at start itself.
long Find(const std::u16string& source, const std::u16string& delimiter, long start) {
    if (delimiter.empty()) return start;
    const auto at = source.find(delimiter, static_cast<std::size_t>(start - 1));
    return at == std::u16string::npos ? 0 : Checked(static_cast<long>(at) + 1);
}

std::u16string Element(const std::u16string& source, const std::u16string& delimiter, std::int16_t index) {
    const long length = Checked(static_cast<long>(delimiter.size()));
    long start = 1;
    long count = 0;
    for (;;) {
        const long match = Find(source, delimiter, start);
        const auto from = static_cast<std::size_t>(start - 1);
        if (count == index) {
            if (match != 0) return source.substr(from, static_cast<std::size_t>(match - start));
            return from >= source.size() ? std::u16string() : source.substr(from);
        }
        if (match == 0) return {};
        count = Checked(count + 1);
        start = Checked(match + length);
    }
}

}  // namespace

std::u16string GetElement(const std::u16string& source, const std::u16string& delimiter, std::int16_t index) {
    if (source.empty()) return {};
    try {
        return Element(source, delimiter, index);
    } catch (const Overflow&) {
        ShowUtilityMessage("GetElement: " + SignedNumberText(kOverflowError) + " - 0");
        return {};
    }
}

}  // namespace zenivor
