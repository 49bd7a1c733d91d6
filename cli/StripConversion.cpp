#include "cli/StripConversion.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "cli/ConverterFiles.h"
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

// Between the lines of a failure: a NUL, which no path and no library's message holds.
constexpr char kLineBreak = '\0';

constexpr std::array<const char*, 9> kImageExtensions{".tga",  ".png",  ".jpg", ".jpeg", ".tif",
                                                      ".tiff", ".webp", ".exr", ".hdr"};

Error Failed(std::string text) { return Error{errc::ConversionFailed, 0, std::move(text)}; }

bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// Refusals found before the source is read: the strip is one of the files it would replace, or
// --no-clobber finds a file of the cube there.
Result<void> CheckCube(const std::string& strip, const std::filesystem::path& folder, const ConversionOptions& options,
                       bool fromStandardInput) {
    for (const char* name : kCubeFileNames) {
        std::error_code error;
        if (!fromStandardInput && std::filesystem::equivalent(PathFromUtf8(strip), folder / name, error))
            return Failed(strip + " is one of the six files it would replace; give another output folder");
    }
    if (!options.noClobber) return {};
    for (const char* name : kCubeFileNames)
        if (Exists(folder / name))
            return Failed(Utf8FromPath(folder / name) + " exists, and --no-clobber keeps it: nothing was written");
    return {};
}

PanoramaOptions PanoramaOptionsOf(const ConversionOptions& options) {
    return {.view = {.north = options.north.value_or(kDefaultNorthDegrees),
                     .pitch = options.pitch.value_or(0),
                     .roll = options.roll.value_or(0)},
            .groundFromTemplate = options.ground && *options.ground != "nadir"};
}

// The ground --ground names, else the one the converter was set up with.
std::filesystem::path GroundOf(const ConversionOptions& options, const ConverterSetup& setup) {
    if (options.ground && !IsGroundKind(*options.ground)) return PathFromUtf8(*options.ground);
    return setup.groundTemplate;
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
        return found +
               "; a 2:1 image is usually a 360-degree panorama: add --equirect; if it is a strip that covers only "
               "the horizon, add --fit";
    if (FittedStripSize(result.strip)) return found + "; add --fit to resample it";
    return found + "; a strip is 1, 2 or 4 times as wide as it is high";
}

constexpr const char* kLooksLikePanorama =
    "warning: this looks like a 360-degree panorama (its top and bottom rows are nearly uniform, as a "
    "panorama's poles are); --equirect projects it onto the cube instead of stretching it";

}  // namespace

bool IsGroundKind(const std::string& ground) { return ground == "nadir" || ground == "template"; }

std::string ExtensionInLowerCase(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool HasImageExtension(const std::filesystem::path& path) {
    const std::string extension = ExtensionInLowerCase(path);
    return std::find(kImageExtensions.begin(), kImageExtensions.end(), extension) != kImageExtensions.end();
}

Result<void> ConvertStrip(const std::string& strip, const std::filesystem::path& folder,
                          const ConversionOptions& options, const ConverterSetup& setup,
                          const std::function<void(const std::string&)>& say, const InputFile* standardInput,
                          const std::function<void(const std::string&)>* progress) {
    if (Result<void> checked = CheckCube(strip, folder, options, standardInput != nullptr); !checked) return checked;
    ConverterFiles files(setup.files, standardInput, folder);
    StepHost host(say, options.verbose && !options.quiet, progress);
    const SkyContext context{.host = host,
                             .files = files,
                             .lastPath = Utf8FromPath(folder / ""),
                             .programFolder = setup.programFolder,
                             .groundTemplate = GroundOf(options, setup),
                             .decoders = setup.decoders,
                             .fitStrip = options.fit,
                             .folderWait = options.wait,
                             .waiting = WaitingNotice(setup, folder),
                             .colour = options.colour};
    const SkyResult result =
        options.equirect ? ProcessPanorama(strip, context, PanoramaOptionsOf(options)) : ProcessSky(strip, context);
    if (result.looksLikePanorama && !options.quiet) say(kLooksLikePanorama);
    if (result.outcome != SkyOutcome::Completed) {
        std::string lines = result.text;
        if (result.outcome == SkyOutcome::Refused && result.strip.width > 0)
            lines += kLineBreak + WayForward(options, result);
        if (result.outcome == SkyOutcome::Failed && !result.replacedInPart)
            lines += kLineBreak + ("nothing was replaced in " + Utf8FromPath(folder));
        return Failed(std::move(lines));
    }
    if (options.verbose && !options.quiet) say("AllDone");
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
