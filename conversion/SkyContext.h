#pragma once
// What every conversion into a sky cube is handed, and what it gives back.

#include <filesystem>
#include <string>

#include "conversion/ConversionHost.h"
#include "imaging/ImageFiles.h"
#include "imaging/ToneMap.h"
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
    // Resampling in linear light, and the tone mapping of HDR sources.
    ColourOptions colour;
};

enum class SkyOutcome {
    Completed,  // all six files are written
    Refused,    // the source is none the program takes; nothing was written
    Failed,     // a step failed; the files written before it stay
};

struct SkyResult {
    SkyOutcome outcome = SkyOutcome::Failed;
    std::string text;  // what the failure showed: the message or the status line's text
    ImageSize strip;   // the source's size, once it was read from its header
};

// Why a source's size could not be had, in the words of the refusal: "no such file", "a folder",
// "not a TGA file: it looks like PNG".
std::string SizeQueryReason(const Error& error);

}  // namespace zenivor
