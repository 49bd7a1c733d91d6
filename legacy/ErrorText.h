#pragma once
// Texts of the reports the program shows for failures.

#include <exception>
#include <string>
#include <string_view>

namespace zenivor {

// A number as the reports write it: a blank before one that is not negative, a minus sign
// before a negative one.
std::string SignedNumberText(long long number);

// "Unexpected error in " + procedure + ": " + signed number + " " + description.
std::string UnexpectedErrorText(std::string_view procedure, long long number, std::string_view description);

// The same for an exception that nobody expected: a system error gives its own code and
// text, running out of memory 7 "Out of memory", anything else -1 and its own text.
std::string UnexpectedErrorText(std::string_view procedure, const std::exception& error);

}  // namespace zenivor
