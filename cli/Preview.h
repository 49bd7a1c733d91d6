#pragma once
// One PNG picture of the unfolded cube: the sky cap above North, then West, North, East and
// South in a row, the ground below North; transparent where no face lies.

#include <filesystem>
#include <string>

#include "util/FileSystem.h"

namespace zenivor {

// Reads the six files from folder and writes the picture to target. When a face cannot be read
// or the picture cannot be written, the error's detail is the whole sentence to show.
Result<void> WriteCubePreview(FileSystem& files, const std::filesystem::path& folder,
                              const std::filesystem::path& target);

}  // namespace zenivor
