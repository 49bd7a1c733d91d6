#include "cli/ConverterFiles.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "imaging/ImageErrors.h"

namespace zenivor {
namespace {

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    return (a / "").lexically_normal() == (b / "").lexically_normal();
}

Error SystemError(ErrorKind kind) { return Error{kind, errno}; }

// Another descriptor of the same open file: each reader closes its own.
Result<InputFile> Duplicate(const InputFile& file) {
    const int copy = ::fcntl(file.Descriptor(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return SystemError(errc::FileOpen);
    return InputFile(copy, file.Size());
}

Result<void> WriteAll(int descriptor, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(descriptor, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return SystemError(errc::OutOfMemory);
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return {};
}

std::string MebiBytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

Result<InputFile> ConverterFiles::Open(const std::filesystem::path& path) {
    if (standardInput_ != nullptr && path == kStandardInputName) return Duplicate(*standardInput_);
    return files_.Open(path);
}

Result<OutputFolder> ConverterFiles::OpenFolder(const std::filesystem::path& path, const FolderUse& use) {
    if (SameFolder(path, outputFolder_)) {
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) std::filesystem::create_directories(path, error);
        if (error)
            return Error{errc::FileCreate, error.value(), "cannot create the folder " + Utf8FromPath(outputFolder_)};
    }
    return files_.OpenFolder(path, use);
}

Result<InputFile> ReadStandardInput(int descriptor, std::uint64_t limit) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return SystemError(errc::FileOpen);
    if (S_ISREG(status.st_mode) && ::lseek(descriptor, 0, SEEK_CUR) == 0) {
        const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) return SystemError(errc::FileOpen);
        return InputFile(copy, static_cast<std::uint64_t>(status.st_size));
    }
    if (::isatty(descriptor) == 1) return Error{errc::NotAFile, 0, "a terminal: pipe an image into it"};
    const int memory = ::memfd_create("zenivor-standard-input", MFD_CLOEXEC);
    if (memory < 0) return SystemError(errc::OutOfMemory);
    InputFile copy(memory, 0);  // closes it on the early returns
    std::vector<std::uint8_t> chunk(kReadChunkBytes);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(descriptor, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return SystemError(errc::FileRead);
        if (got == 0) break;
        total += static_cast<std::uint64_t>(got);
        if (total > limit) return Error{errc::TooLarge, 0, "standard input holds more than " + MebiBytes(limit)};
        if (Result<void> kept = WriteAll(memory, chunk.data(), static_cast<std::size_t>(got)); !kept)
            return kept.Error();
    }
    return InputFile(copy.Release(), total);
}

}  // namespace zenivor
