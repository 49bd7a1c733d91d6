#include "util/Result.h"

#include "util/FileSystem.h"

#include <array>
#include <system_error>

namespace zenivor {
namespace {

constexpr std::array kFileErrorKinds{errc::FileOpen,    errc::NotAFile,   errc::FileRead,
                                     errc::OutOfMemory, errc::FileCreate, errc::FileWrite,
                                     errc::FolderBusy,  errc::Cancelled,  errc::ReplacedInPart};

}  // namespace

std::span<const ErrorKind> FileErrorKinds() { return kFileErrorKinds; }

std::string Reason(const Error& error) {
    std::string text =
        error.systemError != 0 ? std::generic_category().message(error.systemError) : std::string(error.code.text);
    if (!error.detail.empty()) text.append(": ").append(error.detail);
    return text;
}

std::string NumberAndReason(const Error& error) { return std::to_string(error.Number()) + " (" + Reason(error) + ")"; }

}  // namespace zenivor
