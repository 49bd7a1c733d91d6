#include "util/Files.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace zenivor {
namespace {

std::error_code LastErrno(int fallback = EIO) {
    return {errno != 0 ? errno : fallback, std::generic_category()};
}

// A name in target's own folder, so the final rename never crosses file systems.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
    static std::atomic<unsigned> counter{0};
    auto name = target.filename();
    name += ".zenivor-" + std::to_string(counter++) + ".tmp";
    return target.parent_path() / name;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

#ifdef _WIN32
std::FILE* OpenForWriting(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"wb"); }
#else
std::FILE* OpenForWriting(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wb"); }
#endif

std::error_code WriteWhole(const std::filesystem::path& path, std::span<const unsigned char> bytes) {
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(OpenForWriting(path));
    if (!file) return LastErrno(EACCES);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return LastErrno(ENOSPC);
    if (std::fflush(file.get()) != 0) return LastErrno(ENOSPC);
    if (std::fclose(file.release()) != 0) return LastErrno();
    return {};
}

std::error_code RenameOver(const std::filesystem::path& temporary, const std::filesystem::path& target) {
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    }
    return error;
}

}  // namespace

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::error_code WriteFileReplacing(const std::filesystem::path& target, std::span<const unsigned char> bytes) {
    const auto temporary = TemporaryNameBeside(target);
    if (auto error = WriteWhole(temporary, bytes)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return error;
    }
    return RenameOver(temporary, target);
}

std::error_code CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(source, error)) return error ? error : std::make_error_code(std::errc::no_such_file_or_directory);
    const auto temporary = TemporaryNameBeside(target);
    std::filesystem::copy_file(source, temporary, std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return error;
    }
    return RenameOver(temporary, target);
}

std::filesystem::file_time_type FileDateTime(const std::filesystem::path& path) {
    return std::filesystem::last_write_time(path);
}

}  // namespace zenivor
