#pragma once
// One PNG picture of the unfolded cube: the sky cap above North, then West, North, East and
// South in a row, the ground below North.

#include <filesystem>
#include <string>

namespace zenivor {

// Reads the six files from folder and writes the picture to target; false with a reason in
// error when a face cannot be read or the picture cannot be written.
bool WriteCubePreview(const std::filesystem::path& folder, const std::filesystem::path& target, std::string& error);

}  // namespace zenivor
