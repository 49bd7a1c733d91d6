#pragma once
// What every conversion into a sky cube is handed, and what it gives back.

#include <chrono>
#include <filesystem>
#include <functional>
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
    // The ground to copy, when it is another than the program's template (the user's own).
    std::filesystem::path groundTemplate = {};
    // The formats a strip may come in.
    DecoderList decoders = CoreDecoders();
    // A strip of another size whose width is 1, 2 or 4 times its height is resampled to the
    // program's size of that shape, instead of refused.
    bool fitStrip = false;
    // How long to wait for another conversion into the same folder, and what to tell meanwhile
    // (see FolderUse).
    std::chrono::milliseconds folderWait = std::chrono::seconds(30);
    std::function<bool(std::chrono::milliseconds waited)> waiting = nullptr;
    // Called once the six new files are staged, just before they replace those in the folder
    // (with the folder locked): the window keeps the older ones for Undo there. A failure
    // replaces nothing.
    std::function<Result<void>(FileSystem& files, OutputFolder& folder)> beforeReplace = nullptr;
    // Resampling in linear light, and the tone mapping of HDR sources.
    ColourOptions colour = {};
};

// The status line's text of a conversion the user stopped.
inline constexpr const char* kCancelledText = "Cancelled; nothing was replaced";

enum class SkyOutcome {
    Completed,  // all six files are written
    Refused,    // the source is none the program takes; nothing was written
    Failed,     // a step failed; the files written before it stay
};

struct SkyResult {
    SkyOutcome outcome = SkyOutcome::Failed;
    std::string text;  // what the failure showed: the message or the status line's text
    ImageSize strip;   // the source's size, once it was read from its header
    // A 2:1 source fitted as a strip whose top and bottom rows are nearly uniform, as the poles
    // of an equirectangular panorama are.
    bool looksLikePanorama = false;
    // A failure replaces nothing, unless it came in the middle of putting the six files in place
    // (which the next conversion into the folder then finishes).
    bool replacedInPart = false;
};

// Why a source's size could not be had, in the words of the refusal: "no such file", "an empty
// file", "not an image Zenivor reads (TGA, PNG, JPEG...): it looks like GIF".
std::string SizeQueryReason(const Error& error);

}  // namespace zenivor
