#pragma once
// The conversion of one panorama strip into the six files of a sky cube.

#include <filesystem>
#include <string>

#include "conversion/ConversionHost.h"
#include "conversion/ImagingApi.h"

namespace zenivor {

struct SkyContext {
    ConversionHost& host;
    ImagingApi& api;
    // The remembered folder, ending with a separator; empty puts the files beside the strip.
    std::string lastPath;
    // Holds the ground template "F0060001.tga".
    std::filesystem::path programFolder;
};

// Converts the strip at path (UTF-8). Returns true only when all six files were written; on
// failure the reason is in the status text or was shown as a message.
bool ProcessSky(const std::string& path, const SkyContext& context);

}  // namespace zenivor
