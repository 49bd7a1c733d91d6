#include "cli/Console.h"

#include <ostream>

namespace zenivor {
namespace {

constexpr const char* kPrefix = "zenivor-convert: ";
// Back to the line's start, then erase it (ECMA-48 EL 2): works whatever was drawn before.
constexpr const char* kClearLine = "\r\x1b[2K";

}  // namespace

void Console::Say(const std::string& text) {
    const std::lock_guard lock(mutex_);
    ClearProgressLocked();
    err_ << kPrefix << Printable(text) << '\n';
    err_.flush();
}

void Console::ShowProgress(const std::string& line) {
    const std::lock_guard lock(mutex_);
    err_ << kClearLine << kPrefix << Printable(line);
    err_.flush();
    progressShown_ = true;
}

void Console::ClearProgress() {
    const std::lock_guard lock(mutex_);
    ClearProgressLocked();
}

void Console::ClearProgressLocked() {
    if (!progressShown_) return;
    err_ << kClearLine;
    err_.flush();
    progressShown_ = false;
}

std::string Console::Printable(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

}  // namespace zenivor
