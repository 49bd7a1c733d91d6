#include "util/ErrorText.h"

#include <new>
#include <system_error>

namespace zenivor {

std::string SignedNumberText(long long number) {
    return number < 0 ? std::to_string(number) : " " + std::to_string(number);
}

std::string UnexpectedErrorText(std::string_view procedure, long long number, std::string_view description) {
    std::string text = "Unexpected error in ";
    text.append(procedure).append(": ").append(SignedNumberText(number)).append(" ").append(description);
    return text;
}

std::string UnexpectedErrorText(std::string_view procedure, const std::exception& error) {
    if (const auto* system = dynamic_cast<const std::system_error*>(&error))
        return UnexpectedErrorText(procedure, system->code().value(), system->code().message());
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return UnexpectedErrorText(procedure, 7, "Out of memory");
    return UnexpectedErrorText(procedure, -1, error.what());
}

}  // namespace zenivor
