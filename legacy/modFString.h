#pragma once
// Elements of a delimited text. Texts are UTF-16 code units; the index and every position are
// signed 16-bit, and leaving that range is an overflow (error 6), reported as "GetElement:  6 - 0".

#include <cstdint>
#include <string>

#include "legacy/Reporter.h"

namespace zenivor {

inline constexpr int kOverflowError = 6;

// Element index (0 = first) of source divided by delimiter; empty when there is none.
std::u16string GetElement(const std::u16string& source, const std::u16string& delimiter, std::int16_t index,
                          MessageReporter& reporter = StandardErrorReporter());

}  // namespace zenivor
