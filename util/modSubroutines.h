#pragma once
// Path routines on UTF-16 texts. The separator defaults to the platform's: a backslash, with
// two of them opening a network path, on Windows; "/" here, where "//" opens a network path and
// a single leading "/" is the root an absolute path starts from, as a drive letter starts one
// on Windows.

#include <string>

namespace zenivor {

#ifdef _WIN32
inline constexpr char16_t kNativeSeparator = u'\\';
#else
inline constexpr char16_t kNativeSeparator = u'/';
#endif

// The last element of a full file name (for a path ending in a separator, the last folder);
// empty on failure.
std::u16string GetFileNameFromPath(const std::u16string& path, char16_t separator = kNativeSeparator);
// The folder part of a full file name, ending with the separator; empty when there is none.
std::u16string GetPathFromFileName(const std::u16string& path, char16_t separator = kNativeSeparator);

}  // namespace zenivor
