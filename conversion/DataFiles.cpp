#include "conversion/DataFiles.h"

#include <cstdlib>
#include <system_error>

#include "conversion/Cube.h"

namespace zenivor {
namespace {

// From the programs' installed folder to the data's, set by the build from the install layout.
constexpr const char* kDataFromPrograms = ZENIVOR_DATA_FROM_PROGRAMS;

bool IsFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::filesystem::path DataFolder(const std::filesystem::path& programFolder) {
    if (IsFile(programFolder / kGroundTemplateFile)) return programFolder;
    return (programFolder / kDataFromPrograms).lexically_normal();
}

std::filesystem::path UserGroundTemplate(const char* xdgDataHome, const char* home) {
    std::filesystem::path dataHome;
    // The base directory rules ignore a relative value.
    if (xdgDataHome != nullptr && std::filesystem::path(xdgDataHome).is_absolute())
        dataHome = xdgDataHome;
    else if (home != nullptr && *home != '\0')
        dataHome = std::filesystem::path(home) / ".local" / "share";
    else
        return {};
    return dataHome / "zenivor" / kGroundTemplateFile;
}

std::filesystem::path GroundTemplate(const std::filesystem::path& dataFolder, const std::filesystem::path& userGround) {
    if (!userGround.empty() && IsFile(userGround)) return userGround;
    return dataFolder / kGroundTemplateFile;
}

std::filesystem::path GroundTemplate(const std::filesystem::path& dataFolder) {
    return GroundTemplate(dataFolder, UserGroundTemplate(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")));
}

}  // namespace zenivor
