#pragma once
// UTF-8 and UTF-16 conversions for texts handed between the program's parts. Ill-formed input
// becomes U+FFFD, never a read past the text.

#include <string>

namespace zenivor {

std::u16string Utf16FromUtf8(const std::string& text);
std::string Utf8FromUtf16(const std::u16string& text);

}  // namespace zenivor
