#include "cli/ConvertCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <ostream>
#include <thread>

#include "cli/Batch.h"
#include "cli/Console.h"
#include "cli/ConverterFiles.h"
#include "cli/Preview.h"
#include "cli/Signals.h"
#include "cli/StripConversion.h"
#include "cli/Usage.h"
#include "conversion/SkyContext.h"
#include "util/Version.h"

namespace zenivor {
namespace {

constexpr const char* kJobsError = "--jobs needs a whole number of conversions at once, 1 or more";
constexpr const char* kFolderHolds = "the output is a folder that will hold F0010001.tga ... F0060001.tga";

struct Options {
    bool help = false;
    bool version = false;
    ConversionOptions conversion;
    std::optional<std::string> batch;  // the output root
    std::optional<unsigned> jobs;
    std::vector<std::string> operands;
};

// A number (of degrees, seconds or stops), all of the text.
std::optional<double> NumberOf(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// A count of 1 or more, all of the text.
std::optional<unsigned> Count(const std::string& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
    return value;
}

// An option's value, given as "--name VALUE" or "--name=VALUE"; advances i past it.
std::optional<std::string> ValueOf(const std::string& name, const std::vector<std::string>& arguments, std::size_t& i) {
    const std::string& argument = arguments[i];
    if (argument.starts_with(name + "=")) return argument.substr(name.size() + 1);
    if (argument != name || i + 1 == arguments.size()) return std::nullopt;
    return arguments[++i];
}

Error Usage(std::string text) { return Error{errc::BadUsage, 0, std::move(text)}; }

bool Names(const std::string& argument, const std::string& name) {
    return argument == name || argument.starts_with(name + "=");
}

Result<void> CheckBatch(const Options& options) {
    if (options.batch->empty()) return Usage("--batch needs an output folder");
    if (options.conversion.preview) return Usage("--preview is for a single strip, not a --batch");
    if (std::find(options.operands.begin(), options.operands.end(), kStandardInputName) != options.operands.end())
        return Usage("- (standard input) is for a single strip, not a --batch");
    return CheckBatchStrips(PathFromUtf8(*options.batch), options.operands);
}

// A folder that is not there yet but is named like an image, or something there that is no
// folder, is most likely an output file given by mistake.
Result<void> CheckOutputFolder(const std::string& output) {
    const std::filesystem::path folder = PathFromUtf8(output);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (!std::filesystem::exists(status))
        return HasImageExtension(folder) ? Usage(output + " looks like a file name; " + kFolderHolds) : Result<void>();
    if (!std::filesystem::is_directory(status)) return Usage(output + " is not a folder; " + kFolderHolds);
    return {};
}

Result<void> CheckGround(const std::optional<std::string>& ground, bool equirect) {
    if (!ground) return {};
    if (ground->empty()) return Usage("--ground takes nadir, template or a TGA file");
    if (*ground == "nadir" && !equirect) return Usage("--ground nadir needs --equirect");
    return {};
}

Result<void> CheckPreview(const std::optional<std::string>& preview) {
    if (!preview) return {};
    if (preview->empty()) return Usage("--preview needs a file name");
    if (ExtensionInLowerCase(PathFromUtf8(*preview)) != ".png")
        return Usage("--preview writes a PNG picture: give it a name that ends in .png");
    return {};
}

Result<void> CheckOptions(const Options& options) {
    if (options.help || options.version) return {};
    const ConversionOptions& conversion = options.conversion;
    if (options.operands.empty()) return Usage(conversion.equirect ? "no panorama given" : "no strip given");
    if (!options.batch && options.operands.size() > 2)
        return Usage("too many arguments: give one strip and its output folder, or --batch ROOT and the strips");
    if (!options.batch && options.jobs) return Usage("--jobs needs --batch");
    if (Result<void> checked = CheckPreview(conversion.preview); !checked) return checked;
    if (conversion.fit && conversion.equirect)
        return Usage("--fit is for strips; a panorama is projected whatever its size");
    if (!conversion.equirect && (conversion.north || conversion.pitch || conversion.roll))
        return Usage("--north, --pitch and --roll need --equirect");
    if (Result<void> checked = CheckGround(conversion.ground, conversion.equirect); !checked) return checked;
    if (options.batch) return CheckBatch(options);
    return options.operands.size() > 1 ? CheckOutputFolder(options.operands[1]) : Result<void>();
}

// Parses the arguments; a usage error says what is wrong in its detail.
Result<void> ParseOptions(const std::vector<std::string>& arguments, Options& options) {
    ConversionOptions& conversion = options.conversion;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            options.operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "-V" || argument == "--version") {
            options.version = true;
        } else if (argument == "-v" || argument == "--verbose") {
            conversion.verbose = true;
        } else if (argument == "-q" || argument == "--quiet") {
            conversion.quiet = true;
        } else if (argument == "-n" || argument == "--no-clobber") {
            conversion.noClobber = true;
        } else if (argument == "--fit") {
            conversion.fit = true;
        } else if (argument == "--equirect") {
            conversion.equirect = true;
        } else if (Names(argument, "--preview")) {
            conversion.preview = ValueOf("--preview", arguments, i);
            if (!conversion.preview) return Usage("--preview needs a file name");
        } else if (Names(argument, "--north")) {
            const auto value = ValueOf("--north", arguments, i);
            conversion.north = value ? NumberOf(*value) : std::nullopt;
            if (!conversion.north) return Usage("--north needs a number of degrees");
        } else if (Names(argument, "--pitch") || Names(argument, "--roll")) {
            const bool pitch = Names(argument, "--pitch");
            const auto value = ValueOf(pitch ? "--pitch" : "--roll", arguments, i);
            std::optional<double>& angle = pitch ? conversion.pitch : conversion.roll;
            angle = value ? NumberOf(*value) : std::nullopt;
            if (!angle || std::abs(*angle) > 90)
                return Usage(std::string(pitch ? "--pitch" : "--roll") + " needs a number of degrees, -90 to 90");
        } else if (Names(argument, "--ground")) {
            conversion.ground = ValueOf("--ground", arguments, i);
            if (!conversion.ground) return Usage("--ground takes nadir, template or a TGA file");
        } else if (Names(argument, "--linear")) {
            const auto value = ValueOf("--linear", arguments, i);
            if (value != "on" && value != "off") return Usage("--linear takes on or off");
            conversion.colour.linearLight = value == "on";
        } else if (Names(argument, "--exposure")) {
            const auto value = ValueOf("--exposure", arguments, i);
            conversion.colour.toneMapping.exposureEv = value ? NumberOf(*value) : std::nullopt;
            if (!conversion.colour.toneMapping.exposureEv) return Usage("--exposure needs a number of stops (EV)");
        } else if (Names(argument, "--tonemap")) {
            const auto value = ValueOf("--tonemap", arguments, i);
            const std::optional<ToneCurve> curve = value ? ToneCurveNamed(*value) : std::nullopt;
            if (!curve) return Usage("--tonemap takes filmic, reinhard or clip");
            conversion.colour.toneMapping.curve = *curve;
        } else if (Names(argument, "--wait")) {
            const auto value = ValueOf("--wait", arguments, i);
            const std::optional<double> seconds = value ? NumberOf(*value) : std::nullopt;
            if (!seconds || *seconds < 0 || *seconds > 1e6) return Usage("--wait needs a number of seconds, 0 or more");
            conversion.wait = std::chrono::milliseconds(std::llround(*seconds * 1000));
        } else if (Names(argument, "--batch")) {
            options.batch = ValueOf("--batch", arguments, i);
            if (!options.batch) return Usage("--batch needs an output folder");
        } else if (argument.starts_with("-j") || Names(argument, "--jobs")) {
            // -j N, -jN, --jobs N and --jobs=N
            const bool attached = argument.starts_with("-j") && argument.size() > 2;
            const auto value = attached ? std::optional(argument.substr(2))
                                        : ValueOf(argument == "-j" ? "-j" : "--jobs", arguments, i);
            options.jobs = value ? Count(*value) : std::nullopt;
            if (!options.jobs) return Usage(kJobsError);
        } else {
            return Usage("unknown option " + argument);
        }
    }
    return CheckOptions(options);
}

// A ground file must be a TGA the program reads: it is copied byte for byte as the sixth face.
Result<void> CheckGroundFile(const ConversionOptions& conversion, const ConverterSetup& setup) {
    if (!conversion.ground || IsGroundKind(*conversion.ground)) return {};
    const Result<ImageSize> size = ReadImageSize(setup.files, PathFromUtf8(*conversion.ground), CoreDecoders());
    if (size) return {};
    return Usage("--ground takes nadir, template or a TGA file; " + *conversion.ground +
                 " is none: " + Reason(size.Error()));
}

void SayLines(Console& console, const Error& error, const std::string& alreadySaid = {}) {
    const std::vector<std::string> lines = FailureLines(error);
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (i > 0 || lines[i] != alreadySaid) console.Say(lines[i]);
}

// One strip into the folder given (or the current one), its failure a line at a time.
int ConvertSingle(const Options& options, const ConverterSetup& setup, Console& console) {
    const std::string& strip = options.operands[0];
    const auto folder = options.operands.size() > 1 ? PathFromUtf8(options.operands[1]) : std::filesystem::path(".");
    std::optional<InputFile> standardInput;
    if (strip == kStandardInputName) {
        Result<InputFile> read = ReadStandardInput(setup.standardInput);
        if (!read) {
            console.Say("Error getting file size of " + strip + " (" + SizeQueryReason(read.Error()) + ")");
            return kExitFailed;
        }
        standardInput = std::move(*read);
    }
    std::string lastStep;
    ConvertingInto(folder);
    // On a terminal a long step's progress is redrawn in place; never on a pipe.
    const std::function<void(const std::string&)> progress = [&console](const std::string& line) {
        console.ShowProgress(line);
    };
    const Result<void> converted = ConvertStrip(
        strip, folder, options.conversion, setup,
        [&](const std::string& text) {
            console.Say(text);
            lastStep = text;
        },
        standardInput ? &*standardInput : nullptr, setup.terminal ? &progress : nullptr);
    console.ClearProgress();
    if (!converted) {
        // A failure shown in the status line has been printed as the last step already.
        SayLines(console, converted.Error(), lastStep);
        return kExitFailed;
    }
    if (!options.conversion.preview) return kExitConverted;
    const Result<void> previewed = WriteCubePreview(setup.files, folder, PathFromUtf8(*options.conversion.preview));
    if (previewed) return kExitConverted;
    SayLines(console, previewed.Error());
    console.Say("the six files are written; the preview is not");
    return kExitPreviewFailed;
}

int ConvertBatch(const Options& options, const ConverterSetup& setup, Console& console) {
    const unsigned cores = std::thread::hardware_concurrency();
    const BatchRequest request{PathFromUtf8(*options.batch), options.operands,
                               options.jobs.value_or(std::max(cores, 1U)), options.conversion.quiet,
                               options.conversion};
    return RunBatch(request, setup, console);
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& arguments, const ConverterSetup& given, std::ostream& out,
                      std::ostream& err) {
    Options options;
    Console console(err);
    std::optional<ConverterSignals> signals;
    if (given.endingSignals) signals.emplace(console);
    ConverterSetup setup = given;
    setup.notice = [&console](const std::string& text) { console.Say(text); };
    Result<void> parsed = ParseOptions(arguments, options);
    if (parsed && !options.help && !options.version) parsed = CheckGroundFile(options.conversion, setup);
    if (!parsed) {
        console.Say(parsed.Error().detail);
        err << "Try 'zenivor-convert --help' for more information.\n";
        return kExitUsage;
    }
    if (options.help) {
        out << kUsage;
        return kExitConverted;
    }
    if (options.version) {
        out << "zenivor-convert " << kVersionText << '\n';
        return kExitConverted;
    }
    return options.batch ? ConvertBatch(options, setup, console) : ConvertSingle(options, setup, console);
}

}  // namespace zenivor
