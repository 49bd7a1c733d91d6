#pragma once
// One strip or panorama converted into a folder, as the converter does it for a single run and
// for every strip of a batch.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"
#include "imaging/ToneMap.h"

namespace zenivor {

// What the command line asks of each conversion.
struct ConversionOptions {
    bool verbose = false;
    bool quiet = false;      // nothing but errors: no steps, no warnings
    bool noClobber = false;  // refuse when any of the six files is there already
    bool fit = false;
    bool equirect = false;
    std::optional<double> north;
    std::optional<double> pitch;
    std::optional<double> roll;
    std::optional<std::string> ground;  // nadir, template or the name of a TGA file
    std::optional<std::string> preview;
    // How long to wait for another conversion into the same folder.
    std::chrono::milliseconds wait = std::chrono::seconds(30);
    ColourOptions colour;
};

// Whether --ground's value names a kind of ground rather than a file.
bool IsGroundKind(const std::string& ground);

// A name's extension (".png"), in lower case.
std::string ExtensionInLowerCase(const std::filesystem::path& path);

// Whether a name ends in the extension of an image format people keep pictures in (in any case):
// such an output "folder" is more likely a file name given by mistake.
bool HasImageExtension(const std::filesystem::path& path);

// Converts strip (UTF-8; "-" reads standardInput) into folder, which is created once the strip
// has been accepted. Each step's text (with options.verbose, and "AllDone" at the end) and any
// warning go to say, unless options.quiet. A failure's detail says why, a line each: the
// failure, then what would have taken the strip, if anything. Safe to run on several threads at
// once, each with its own folder. With progress, a long step's progress goes there too
// ("Reading the strip 45%"), each time it grows.
Result<void> ConvertStrip(const std::string& strip, const std::filesystem::path& folder,
                          const ConversionOptions& options, const ConverterSetup& setup,
                          const std::function<void(const std::string&)>& say, const InputFile* standardInput = nullptr,
                          const std::function<void(const std::string&)>* progress = nullptr);

// The lines of a failure's detail.
std::vector<std::string> FailureLines(const Error& error);

}  // namespace zenivor
