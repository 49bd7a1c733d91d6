#pragma once
// Path routines on UTF-16 texts. "/" separates by default: "//" then opens a network path and a
// single leading "/" is the root an absolute path starts from, as a drive letter is with the
// backslash of Windows paths, which the routines read too when given that separator.

#include <string>

#include "legacy/Reporter.h"

namespace zenivor {

inline constexpr char16_t kNativeSeparator = u'/';

// The last element of a full file name (for a path ending in a separator, the last folder);
// empty on failure.
std::u16string GetFileNameFromPath(const std::u16string& path, char16_t separator = kNativeSeparator,
                                   MessageReporter& reporter = StandardErrorReporter());
// The folder part of a full file name, ending with the separator; empty when there is none.
std::u16string GetPathFromFileName(const std::u16string& path, char16_t separator = kNativeSeparator,
                                   MessageReporter& reporter = StandardErrorReporter());

}  // namespace zenivor
