#pragma once
// The conversion of a 360-degree equirectangular panorama into the six files of a sky cube,
// reported as a strip's conversion is.

#include <string>

#include "conversion/Equirect.h"
#include "conversion/SkyContext.h"

namespace zenivor {

// How a 360-degree panorama becomes a cube.
struct PanoramaOptions {
    PanoramaView view;                // where North looks, and how the cube is tilted
    bool groundFromTemplate = false;  // the template's ground, not the view straight down
};

// Converts a 2:1 equirectangular panorama at path (UTF-8) into the six faces.
SkyResult ProcessPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options);

// The panorama's pixels as ProcessPanorama reads them (refused as it refuses), as far as the
// faces can use them: detail finer than every face pixel may be left undecoded.
SkyResult ReadPanorama(const std::string& path, const SkyContext& context, RgbImage& panorama);

// The six faces ProcessPanorama would write, built in memory: nothing is written.
SkyResult BuildPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options,
                        std::array<RgbImage, 6>& faces);

}  // namespace zenivor
