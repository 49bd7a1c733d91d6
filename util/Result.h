#pragma once
// The core's one error type and the result that carries it. Codes are stable: they appear in
// the messages users see and on the help page, so retired codes keep their numbers unused.

#include <cassert>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace zenivor {

enum class ImgErrc : int {
    FileOpen = 1,         // the file cannot be opened
    NotAFile = 2,         // the path names a folder, a FIFO or another non-regular file
    FileRead = 3,         // the system failed a read
    TruncatedHeader = 4,  // shorter than an image header (an empty file too)
    UnknownType = 5,      // not a TGA image type this library reads
    UnknownColorMapType = 6,
    BadColorMapDepth = 7,
    BadPixelDepth = 8,
    Interleaved = 9,
    ZeroSize = 10,
    MissingColorMap = 11,
    TruncatedColorMap = 12,
    TruncatedPixels = 13,
    RleOverrun = 14,
    ColorIndexRange = 15,
    OutOfMemory = 16,
    // 17 to 21 named faults of the old handle-based calls, which values cannot make.
    FileCreate = 22,      // the output cannot be created or put in place of the target
    FileWrite = 23,       // writing the output failed
    UnexpectedSize = 24,  // the image's size differs from the size asked for
    BadPng = 25,
    BadJpeg = 26,
    TooLarge = 27,       // more pixels than the program will hold
    UnknownFormat = 28,  // a signature of a format this program does not read
};

struct ImgError {
    ImgErrc code;
    int systemError = 0;      // errno of the failed system call; 0 when the library found the fault
    std::string detail = {};  // more about the cause, e.g. "it looks like GIF" or libpng's own words

    // The number a message shows: the system's code for a system failure, else the library's.
    int Number() const { return systemError != 0 ? systemError : static_cast<int>(code); }
};

// What each library code means, in the words the messages and the help page use.
std::string_view ImgErrcText(ImgErrc code);
// Every code with its text, in order; the help page's table is made from it.
struct ImgErrcEntry {
    ImgErrc code;
    std::string_view text;
};
std::span<const ImgErrcEntry> AllImgErrcTexts();

// The cause in words: the system's text for its errors, else the library's, plus any detail.
std::string Reason(const ImgError& error);
// The number and the cause, as messages end: "13 (the file ends inside its pixel data)".
std::string NumberAndReason(const ImgError& error);

// A value or the error that stopped it. std::expected is C++23, and clang 14 lacks it.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(ImgError error) : state_(std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }
    T&& operator*() && { return std::move(Value()); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    const ImgError& Error() const {
        assert(!*this);
        return std::get<1>(state_);
    }

private:
    T& Value() {
        assert(*this);
        return std::get<0>(state_);
    }
    const T& Value() const {
        assert(*this);
        return std::get<0>(state_);
    }
    std::variant<T, ImgError> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(ImgError error) : error_(std::move(error)), failed_(true) {}

    explicit operator bool() const { return !failed_; }
    const ImgError& Error() const {
        assert(failed_);
        return error_;
    }

private:
    ImgError error_{ImgErrc::FileRead};
    bool failed_ = false;
};

}  // namespace zenivor
