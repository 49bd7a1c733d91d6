#include "cli/StripConversion.h"

#include "cli/Preview.h"
#include "conversion/ProcessPanorama.h"
#include "conversion/ProcessSky.h"

namespace zenivor {
namespace {

// Passes each status text on with --verbose. Failures are reported once, at the end, from the
// conversion's result.
class StepHost final : public MemoryHost {
public:
    StepHost(const std::function<void(const std::string&)>& step, bool verbose) : step_(step), verbose_(verbose) {}
    void SetStatusText(const std::string& text) override {
        MemoryHost::SetStatusText(text);
        if (verbose_) step_(text);
    }

private:
    const std::function<void(const std::string&)>& step_;
    bool verbose_;
};

std::optional<std::string> PrepareFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return std::nullopt;
    std::filesystem::create_directories(folder, error);
    if (!error) return std::nullopt;
    return "cannot create the output folder " + Utf8FromPath(folder) + ": " + error.message();
}

PanoramaOptions PanoramaOptionsOf(const ConversionOptions& options) {
    return {options.north.value_or(kDefaultNorthDegrees), options.ground == "template"};
}

// After a refused size: what was found, and what would take it.
std::string WayForward(const ConversionOptions& options, const SkyResult& result) {
    std::string found = "found " + std::to_string(result.strip.width) + "x" + std::to_string(result.strip.height);
    if (options.equirect) return found;
    if (IsEquirectangular(result.strip.width, result.strip.height))
        return found + "; add --fit to resample it, or --equirect if it is a 360-degree panorama";
    if (FittedStripSize(result.strip)) return found + "; add --fit to resample it";
    return found + "; a strip is 1, 2 or 4 times as wide as it is high";
}

}  // namespace

StripOutcome ConvertStrip(const std::string& strip, const std::filesystem::path& folder,
                          const ConversionOptions& options, const ConverterSetup& setup,
                          const std::function<void(const std::string&)>& step) {
    StripOutcome outcome;
    if (auto error = PrepareFolder(folder)) {
        outcome.failure.push_back(std::move(*error));
        return outcome;
    }
    StepHost host(step, options.verbose);
    const SkyContext context{.host = host,
                             .files = setup.files,
                             .lastPath = Utf8FromPath(folder / ""),
                             .programFolder = setup.programFolder,
                             .decoders = setup.decoders,
                             .fitStrip = options.fit};
    const SkyResult result =
        options.equirect ? ProcessPanorama(strip, context, PanoramaOptionsOf(options)) : ProcessSky(strip, context);
    if (result.outcome != SkyOutcome::Completed) {
        outcome.failure.push_back(result.text);
        // A failure in the status line (not a message) has been passed on as a step already.
        outcome.failureWasAStep = options.verbose && host.LastMessage().empty();
        if (result.outcome == SkyOutcome::Refused && result.strip.width > 0)
            outcome.failure.push_back(WayForward(options, result));
        return outcome;
    }
    if (options.preview) {
        std::string error;
        if (!WriteCubePreview(setup.files, folder, PathFromUtf8(*options.preview), error)) {
            outcome.failure.push_back(std::move(error));
            return outcome;
        }
    }
    if (options.verbose) step("AllDone");
    outcome.converted = true;
    return outcome;
}

}  // namespace zenivor
