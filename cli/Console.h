#pragma once
// The converter's standard error: one message a line, each whole even when conversions on
// several threads speak at once, and at most one progress line that other messages never mix
// with.

#include <iosfwd>
#include <mutex>
#include <string>

namespace zenivor {

class Console {
public:
    explicit Console(std::ostream& err) : err_(err) {}

    // Prints "zenivor-convert: text" on a line of its own; control characters are shown escaped.
    void Say(const std::string& text);
    // Redraws the progress line in place (a terminal's line, overwritten with a carriage return).
    void ShowProgress(const std::string& line);
    // Takes the progress line away, leaving the cursor at the start of the empty line.
    void ClearProgress();

    static std::string Printable(const std::string& text);

private:
    void ClearProgressLocked();

    std::mutex mutex_;
    std::ostream& err_;
    bool progressShown_ = false;
};

}  // namespace zenivor
