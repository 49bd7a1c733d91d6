#pragma once
// The helpers of the program's first, Windows design live in this folder with the names, the
// 16-bit counters, the twips and the numbered error texts of that design, so that a reader who
// knows it finds each routine where it expects it: delimited elements and paths (modFString,
// modSubroutines), window placement (FormPosition) and the texts of unexpected errors
// (ErrorText). Everything else of the program speaks values and Result.
//
// These helpers report to the user through a reporter they are handed; they never open a
// message box themselves. The window hands them its message box, the converter standard error.

#include <string>

namespace zenivor {

class MessageReporter {
public:
    virtual ~MessageReporter() = default;
    virtual void Report(const std::string& text) = 0;
};

// Standard error, one message a line, whole even when several threads report at once.
MessageReporter& StandardErrorReporter();

}  // namespace zenivor
