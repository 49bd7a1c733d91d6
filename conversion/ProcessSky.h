#pragma once
// The conversion of one panorama strip into the six files of a sky cube: the one step that
// reads and writes files and shows its progress, around the in-memory build of SkyCube.h.

#include <filesystem>
#include <optional>
#include <string>

#include "conversion/ConversionHost.h"
#include "conversion/Equirect.h"
#include "imaging/ImageFiles.h"
#include "util/FileSystem.h"

namespace zenivor {

struct SkyContext {
    ConversionHost& host;
    FileSystem& files;
    // The remembered folder (UTF-8), ending with a separator; empty puts the files beside the strip.
    std::string lastPath;
    // Holds the ground template "F0060001.tga".
    std::filesystem::path programFolder;
    // The formats a strip may come in.
    DecoderList decoders = CoreDecoders();
    // A strip of another size whose width is 1, 2 or 4 times its height is resampled to the
    // program's size of that shape, instead of refused.
    bool fitStrip = false;
};

// How a 360-degree panorama becomes a cube.
struct PanoramaOptions {
    double northDegrees = kDefaultNorthDegrees;  // the longitude North looks at
    bool groundFromTemplate = false;             // the template's ground, not the view straight down
};

enum class SkyOutcome {
    Completed,  // all six files are written
    Refused,    // the strip is no strip the program takes; nothing was written
    Failed,     // a step failed; the files written before it stay
};

struct SkyResult {
    SkyOutcome outcome = SkyOutcome::Failed;
    std::string text;  // what the failure showed: the message or the status line's text
    ImageSize strip;   // the strip's size, once it was read from its header
};

// Converts the strip at path (UTF-8). Refusals are shown as messages, failures of a step in
// the status line; the result says which, with the text.
SkyResult ProcessSky(const std::string& path, const SkyContext& context);

// Converts a 2:1 equirectangular panorama at path (UTF-8) into the six faces, reported as
// ProcessSky reports a strip.
SkyResult ProcessPanorama(const std::string& path, const SkyContext& context, const PanoramaOptions& options);

// The program's strip size of the same shape, for a strip whose width is 1, 2 or 4 times its
// height; nullopt for any other shape.
std::optional<ImageSize> FittedStripSize(ImageSize size);

// Why a strip's size could not be had, in the words of the refusal: "no such file", "a folder",
// "not a TGA file: it looks like PNG".
std::string SizeQueryReason(const Error& error);

}  // namespace zenivor
