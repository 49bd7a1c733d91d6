#pragma once
// The conversion of one panorama strip into the six files of a sky cube: the one step that
// reads and writes files and shows its progress, around the in-memory build of SkyCube.h.

#include <array>
#include <optional>
#include <string>

#include "conversion/SkyContext.h"

namespace zenivor {

// Converts the strip at path (UTF-8). Refusals are shown as messages, failures of a step in
// the status line; the result says which, with the text.
SkyResult ProcessSky(const std::string& path, const SkyContext& context);

// The six files ProcessSky would write for the strip (the ground template as its image), built
// in memory: nothing is written. Refusals and failures are shown as ProcessSky shows them.
SkyResult BuildSky(const std::string& path, const SkyContext& context, std::array<RgbImage, 6>& faces);

// The program's strip size of the same shape, for a strip whose width is 1, 2 or 4 times its
// height; nullopt for any other shape.
std::optional<ImageSize> FittedStripSize(ImageSize size);

}  // namespace zenivor
