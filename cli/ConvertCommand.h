#pragma once
// zenivor-convert: the whole conversion from a shell, with no display.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace zenivor {

inline constexpr int kExitConverted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs the converter on its arguments (without the program name); the ground template comes
// from programFolder. Returns the exit status.
int RunConvertCommand(const std::vector<std::string>& arguments, const std::filesystem::path& programFolder,
                      std::ostream& out, std::ostream& err);

}  // namespace zenivor
