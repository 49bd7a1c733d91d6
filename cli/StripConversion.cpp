#include "cli/StripConversion.h"

#include <algorithm>

#include "cli/Preview.h"
#include "conversion/ProcessPanorama.h"
#include "conversion/ProcessSky.h"

namespace zenivor {
namespace {

// Passes each status text on with --verbose. Failures are reported once, at the end, from the
// conversion's result.
class StepHost final : public MemoryHost {
public:
    StepHost(const std::function<void(const std::string&)>& step, bool verbose,
             const std::function<void(const std::string&)>* progress)
        : step_(step), verbose_(verbose), progress_(progress) {}
    void SetStatusText(const std::string& text) override {
        MemoryHost::SetStatusText(text);
        if (verbose_) step_(text);
    }
    // The step under way, and how far it has come: "Reading the strip 45%", each whole percent.
    void ShowProgress(double fraction) override {
        const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
        if (progress_ == nullptr || percent == shownPercent_) return;
        shownPercent_ = percent;
        (*progress_)(Status() + " " + std::to_string(percent) + "%");
    }

private:
    const std::function<void(const std::string&)>& step_;
    bool verbose_;
    const std::function<void(const std::string&)>* progress_;
    int shownPercent_ = -1;
};

Result<void> PrepareFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return {};
    std::filesystem::create_directories(folder, error);
    if (!error) return {};
    return Error{errc::FileCreate, error.value(),
                 "cannot create the output folder " + Utf8FromPath(folder) + ": " + error.message()};
}

// Between the lines of a failure: a NUL, which no path and no library's message holds.
constexpr char kLineBreak = '\0';

PanoramaOptions PanoramaOptionsOf(const ConversionOptions& options) {
    return {.view = {.north = options.north.value_or(kDefaultNorthDegrees),
                     .pitch = options.pitch.value_or(0),
                     .roll = options.roll.value_or(0)},
            .groundFromTemplate = options.ground == "template"};
}

// Says once, after a second, that the conversion waits for another one into the folder.
std::function<bool(std::chrono::milliseconds)> WaitingNotice(const ConverterSetup& setup,
                                                             const std::filesystem::path& folder) {
    if (!setup.notice) return nullptr;
    return [notice = setup.notice, folder, said = false](std::chrono::milliseconds) mutable {
        if (!said) notice("waiting for another conversion into " + Utf8FromPath(folder));
        said = true;
        return true;
    };
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

Result<void> ConvertStrip(const std::string& strip, const std::filesystem::path& folder,
                          const ConversionOptions& options, const ConverterSetup& setup,
                          const std::function<void(const std::string&)>& step,
                          const std::function<void(const std::string&)>* progress) {
    if (Result<void> prepared = PrepareFolder(folder); !prepared) return prepared;
    StepHost host(step, options.verbose, progress);
    const SkyContext context{.host = host,
                             .files = setup.files,
                             .lastPath = Utf8FromPath(folder / ""),
                             .programFolder = setup.programFolder,
                             .decoders = setup.decoders,
                             .fitStrip = options.fit,
                             .folderWait = options.wait,
                             .waiting = WaitingNotice(setup, folder),
                             .colour = options.colour};
    const SkyResult result =
        options.equirect ? ProcessPanorama(strip, context, PanoramaOptionsOf(options)) : ProcessSky(strip, context);
    if (result.outcome != SkyOutcome::Completed) {
        std::string lines = result.text;
        if (result.outcome == SkyOutcome::Refused && result.strip.width > 0)
            lines += kLineBreak + WayForward(options, result);
        if (result.outcome == SkyOutcome::Failed && !result.replacedInPart)
            lines += kLineBreak + ("nothing was replaced in " + Utf8FromPath(folder));
        return Error{errc::ConversionFailed, 0, std::move(lines)};
    }
    if (options.preview) {
        if (Result<void> written = WriteCubePreview(setup.files, folder, PathFromUtf8(*options.preview)); !written)
            return written;
    }
    if (options.verbose) step("AllDone");
    return {};
}

std::vector<std::string> FailureLines(const Error& error) {
    std::vector<std::string> lines;
    const std::string text = error.detail.empty() ? Reason(error) : error.detail;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(kLineBreak, start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace zenivor
