#pragma once
// The program's one error type and the result that carries it. Each layer names the kinds of
// error it meets (this one: files and memory); a kind's number is stable, as messages and the
// help page show it, so a retired number stays unused.

#include <cassert>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace zenivor {

// What went wrong, as a number and in the words the messages use.
struct ErrorKind {
    int number;
    std::string_view text;

    friend constexpr bool operator==(const ErrorKind& a, const ErrorKind& b) { return a.number == b.number; }
};

namespace errc {
inline constexpr ErrorKind FileOpen{1, "the file cannot be opened"};
inline constexpr ErrorKind NotAFile{2, "not a regular file"};  // a folder, a FIFO or a device
inline constexpr ErrorKind FileRead{3, "the file cannot be read"};
inline constexpr ErrorKind OutOfMemory{16, "not enough memory for the image"};
// 17 to 21 named faults of the old handle-based calls, which values cannot make.
inline constexpr ErrorKind FileCreate{22, "the file cannot be created or put in place"};
inline constexpr ErrorKind FileWrite{23, "the file cannot be written"};
}  // namespace errc

// This layer's kinds, in order; the help page's table is made from every layer's.
std::span<const ErrorKind> FileErrorKinds();

struct Error {
    ErrorKind code;
    int systemError = 0;      // errno of the failed system call; 0 when the program found the fault
    std::string detail = {};  // more about the cause, e.g. "it looks like GIF" or libpng's own words

    // The number a message shows: the system's code for a system failure, else the kind's.
    int Number() const { return systemError != 0 ? systemError : code.number; }
};

// The cause in words: the system's text for its errors, else the kind's, plus any detail.
std::string Reason(const Error& error);
// The number and the cause, as messages end: "13 (the file ends inside its pixel data)".
std::string NumberAndReason(const Error& error);

// A value or the error that stopped it. std::expected is C++23, and clang 14 lacks it.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(zenivor::Error error) : state_(std::move(error)) {}

    explicit operator bool() const { return state_.index() == 0; }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }
    T&& operator*() && { return std::move(Value()); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    const zenivor::Error& Error() const {
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
    std::variant<T, zenivor::Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(zenivor::Error error) : error_(std::move(error)), failed_(true) {}

    explicit operator bool() const { return !failed_; }
    const zenivor::Error& Error() const {
        assert(failed_);
        return error_;
    }

private:
    zenivor::Error error_{errc::FileRead};
    bool failed_ = false;
};

}  // namespace zenivor
