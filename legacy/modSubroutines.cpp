#include "legacy/modSubroutines.h"

#include <cstdint>
#include <limits>

#include "legacy/modFString.h"

namespace zenivor {
namespace {

// How many leading code units name the root rather than a folder.
std::size_t RootPrefixLength(const std::u16string& path, char16_t separator) {
    const std::u16string twice(2, separator);
    if (path.starts_with(twice)) return 2;
    if (separator == u'/' && path.starts_with(separator)) return 1;
    return 0;
}

}  // namespace

std::u16string GetFileNameFromPath(const std::u16string& path, char16_t separator, MessageReporter& reporter) {
    const std::u16string work = path.substr(RootPrefixLength(path, separator));
    const std::u16string delimiter(1, separator);
    std::int16_t index = 0;
    while (!GetElement(work, delimiter, index, reporter).empty()) {
        if (index == std::numeric_limits<std::int16_t>::max()) return {};
        ++index;
    }
    return GetElement(work, delimiter, static_cast<std::int16_t>(index - 1), reporter);
}

std::u16string GetPathFromFileName(const std::u16string& path, char16_t separator, MessageReporter& reporter) {
    const std::u16string name = GetFileNameFromPath(path, separator, reporter);
    if (name.empty()) return {};
    return path.substr(0, path.rfind(name));
}

}  // namespace zenivor
