#pragma once
// zenivor-convert --batch: many strips, each into a folder of its own under one output root,
// several at once on threads of this process.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/Console.h"
#include "cli/ConvertCommand.h"
#include "cli/StripConversion.h"

namespace zenivor {

struct BatchRequest {
    std::filesystem::path outRoot;
    std::vector<std::string> strips;  // UTF-8
    unsigned jobs = 1;                // conversions at once
    bool quiet = false;               // no progress line and no summary
    ConversionOptions conversion;     // for every strip
};

// The folder a strip's six files go into: the output root's sub-folder named after the strip's
// file name without its extension.
std::filesystem::path BatchFolderOf(const std::filesystem::path& outRoot, const std::string& strip);

// Refuses strips that give no folder name, and two strips that would write into one folder.
Result<void> CheckBatchStrips(const std::filesystem::path& outRoot, const std::vector<std::string>& strips);

// How many strips are converted at once: as many as asked for, but never more than there are
// strips, four for each hardware thread, or the open-file limit allows at a few descriptors a
// conversion; at least one.
std::size_t BatchWorkerCount(std::size_t jobs, std::size_t strips, std::size_t hardwareThreads,
                             std::uint64_t openFileLimit);

// The progress line after done of total strips in seconds: a bar, the count, the rate and the
// time left once a rate is known.
std::string BatchProgressLine(std::size_t done, std::size_t total, double seconds);
// The last line of a batch.
std::string BatchSummaryLine(std::size_t converted, std::size_t total, double seconds);
// The last line of a batch a signal stopped.
std::string BatchStoppedLine(std::size_t converted, std::size_t attempted, std::size_t total, double seconds,
                             const std::string& signal);

// Converts every strip; failures are reported as they happen and do not stop the others.
// Returns the exit status: converted when all were.
int RunBatch(const BatchRequest& request, const ConverterSetup& setup, Console& console);

}  // namespace zenivor
