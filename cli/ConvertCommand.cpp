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
#include "cli/Signals.h"
#include "cli/StripConversion.h"
#include "cli/Usage.h"
#include "util/Version.h"

namespace zenivor {
namespace {

constexpr const char* kJobsError = "--jobs needs a whole number of conversions at once, 1 or more";

struct Options {
    bool help = false;
    bool version = false;
    bool quiet = false;
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
    return CheckBatchStrips(PathFromUtf8(*options.batch), options.operands);
}

Result<void> CheckOptions(const Options& options) {
    if (options.help || options.version) return {};
    const ConversionOptions& conversion = options.conversion;
    if (options.operands.empty()) return Usage(conversion.equirect ? "no panorama given" : "no strip given");
    if (!options.batch && options.operands.size() > 2) return Usage("too many arguments");
    if (!options.batch && (options.jobs || options.quiet)) return Usage("--jobs and --quiet need --batch");
    if (conversion.preview && conversion.preview->empty()) return Usage("--preview needs a file name");
    if (conversion.fit && conversion.equirect)
        return Usage("--fit is for strips; a panorama is projected whatever its size");
    if (!conversion.equirect && (conversion.north || conversion.pitch || conversion.roll || conversion.ground))
        return Usage("--north, --pitch, --roll and --ground need --equirect");
    if (conversion.ground && *conversion.ground != "nadir" && *conversion.ground != "template")
        return Usage("--ground takes nadir or template");
    return options.batch ? CheckBatch(options) : Result<void>();
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
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "-v" || argument == "--verbose") {
            conversion.verbose = true;
        } else if (argument == "-q" || argument == "--quiet") {
            options.quiet = true;
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
            if (!conversion.ground) return Usage("--ground takes nadir or template");
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

// One strip into the folder given (or the current one), its failure a line at a time.
int ConvertSingle(const Options& options, const ConverterSetup& setup, Console& console) {
    const std::string& strip = options.operands[0];
    const auto folder = options.operands.size() > 1 ? PathFromUtf8(options.operands[1]) : std::filesystem::path(".");
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
        setup.terminal ? &progress : nullptr);
    console.ClearProgress();
    if (converted) return kExitConverted;
    // A failure shown in the status line has been printed as the last step already.
    const std::vector<std::string> lines = FailureLines(converted.Error());
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (i > 0 || lines[i] != lastStep) console.Say(lines[i]);
    return kExitFailed;
}

int ConvertBatch(const Options& options, const ConverterSetup& setup, Console& console) {
    const unsigned cores = std::thread::hardware_concurrency();
    const BatchRequest request{PathFromUtf8(*options.batch), options.operands,
                               options.jobs.value_or(std::max(cores, 1U)), options.quiet, options.conversion};
    return RunBatch(request, setup, console);
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& arguments, const ConverterSetup& given, std::ostream& out,
                      std::ostream& err) {
    Options options;
    Console console(err);
    if (given.endingSignals) InstallConverterSignals(console);
    ConverterSetup setup = given;
    setup.notice = [&console](const std::string& text) { console.Say(text); };
    if (const Result<void> parsed = ParseOptions(arguments, options); !parsed) {
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
