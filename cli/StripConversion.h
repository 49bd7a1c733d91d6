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
    bool fit = false;
    bool equirect = false;
    std::optional<double> north;
    std::optional<double> pitch;
    std::optional<double> roll;
    std::optional<std::string> ground;
    std::optional<std::string> preview;
    // How long to wait for another conversion into the same folder.
    std::chrono::milliseconds wait = std::chrono::seconds(30);
    ColourOptions colour;
};

// Converts strip (UTF-8) into folder, creating the folder when missing. With options.verbose
// each step's text (and "AllDone" at the end) goes to step. A failure's detail says why, a line
// each: the failure, then what would have taken the strip, if anything. Safe to run on several
// threads at once, each with its own folder. With progress, a long step's progress goes there
// too ("Reading the strip 45%"), each time it grows.
Result<void> ConvertStrip(const std::string& strip, const std::filesystem::path& folder,
                          const ConversionOptions& options, const ConverterSetup& setup,
                          const std::function<void(const std::string&)>& step,
                          const std::function<void(const std::string&)>* progress = nullptr);

// The lines of a failure's detail.
std::vector<std::string> FailureLines(const Error& error);

}  // namespace zenivor
