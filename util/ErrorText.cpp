#include "util/ErrorText.h"

namespace zenivor {

std::string SignedNumberText(long long number) {
    return number < 0 ? std::to_string(number) : " " + std::to_string(number);
}

std::string UnexpectedErrorText(std::string_view procedure, long long number, std::string_view description) {
    std::string text = "Unexpected error in ";
    text.append(procedure).append(": ").append(SignedNumberText(number)).append(" ").append(description);
    return text;
}

}  // namespace zenivor
