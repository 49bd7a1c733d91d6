#include "util/ProgramFolder.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zenivor {

std::filesystem::path ProgramFolder(const char* argv0) {
    std::error_code error;
#if defined(_WIN32)
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length > 0 && length < std::size(buffer)) return std::filesystem::path(buffer).parent_path();
#elif defined(__linux__)
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path();
#endif
    if (argv0 == nullptr) return std::filesystem::current_path(error);
    const auto absolute = std::filesystem::absolute(argv0, error);
    return error ? std::filesystem::path() : absolute.parent_path();
}

}  // namespace zenivor
