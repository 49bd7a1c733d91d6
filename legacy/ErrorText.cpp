#include "legacy/ErrorText.h"

#include <new>
#include <system_error>

namespace zenivor {

std::string SignedNumberText(long long number) {
    std::string digits = std::to_string(number);
    if (number >= 0) digits.insert(digits.begin(), ' ');
    return digits;
}

std::string UnexpectedErrorText(std::string_view procedure, long long number, std::string_view description) {
    std::string text = "Unexpected error in ";
    text += procedure;
    text += ": ";
    text += SignedNumberText(number);
    text += ' ';
    text += description;
    return text;
}

std::string UnexpectedErrorText(std::string_view procedure, const std::exception& error) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return UnexpectedErrorText(procedure, system->code().value(), system->code().message());
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr)
        return UnexpectedErrorText(procedure, 7, "Out of memory");
    return UnexpectedErrorText(procedure, -1, error.what());
}

}  // namespace zenivor
