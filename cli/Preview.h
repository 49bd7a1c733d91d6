#pragma once
// One PNG picture of the unfolded cube: the sky cap above North, then West, North, East and
// South in a row, the ground below North; transparent where no face lies.

#include <filesystem>
#include <string>

#include "util/FileSystem.h"

namespace zenivor {

// Reads the six files from folder and writes the picture to target; false with a reason in
// error when a face cannot be read or the picture cannot be written.
bool WriteCubePreview(FileSystem& files, const std::filesystem::path& folder, const std::filesystem::path& target,
                      std::string& error);

}  // namespace zenivor
