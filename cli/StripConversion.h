#pragma once
// One strip or panorama converted into a folder, as the converter does it for a single run and
// for every strip of a batch.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"

namespace zenivor {

// What the command line asks of each conversion.
struct ConversionOptions {
    bool verbose = false;
    bool fit = false;
    bool equirect = false;
    std::optional<double> north;
    std::optional<std::string> ground;
    std::optional<std::string> preview;
};

struct StripOutcome {
    bool converted = false;
    // Why not, a line each: the failure, then what would have taken the strip, if anything.
    std::vector<std::string> failure;
    // The first failure line was a step's status text, already passed to the step callback.
    bool failureWasAStep = false;
};

// Converts strip (UTF-8) into folder, creating the folder when missing. With options.verbose
// each step's text (and "AllDone" at the end) goes to step. Safe to run on several threads at
// once, each with its own folder.
StripOutcome ConvertStrip(const std::string& strip, const std::filesystem::path& folder,
                          const ConversionOptions& options, const ConverterSetup& setup,
                          const std::function<void(const std::string&)>& step);

}  // namespace zenivor
