#include "util/ProgramFolder.h"

#include <system_error>

namespace zenivor {

std::filesystem::path ProgramFolder(const char* argv0) {
    std::error_code error;
#if defined(__linux__)
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path();
#endif
    if (argv0 == nullptr) return std::filesystem::current_path(error);
    const auto absolute = std::filesystem::absolute(argv0, error);
    return error ? std::filesystem::path() : absolute.parent_path();
}

}  // namespace zenivor
