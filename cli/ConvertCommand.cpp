#include "cli/ConvertCommand.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <ostream>

#include "cli/Preview.h"
#include "cli/Usage.h"
#include "conversion/ProcessSky.h"
#include "util/Version.h"

namespace zenivor {
namespace {

constexpr const char* kPrefix = "zenivor-convert: ";

struct Options {
    bool help = false;
    bool version = false;
    bool verbose = false;
    bool fit = false;
    bool equirect = false;
    std::optional<double> north;
    std::optional<std::string> ground;
    std::optional<std::string> preview;
    std::vector<std::string> operands;
};

// A number of degrees, all of the text.
std::optional<double> Degrees(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

// An option's value, given as "--name VALUE" or "--name=VALUE"; advances i past it.
std::optional<std::string> ValueOf(const std::string& name, const std::vector<std::string>& arguments, std::size_t& i) {
    const std::string& argument = arguments[i];
    if (argument.starts_with(name + "=")) return argument.substr(name.size() + 1);
    if (argument != name || i + 1 == arguments.size()) return std::nullopt;
    return arguments[++i];
}

bool Names(const std::string& argument, const std::string& name) {
    return argument == name || argument.starts_with(name + "=");
}

std::optional<std::string> CheckOptions(const Options& options) {
    if (options.help || options.version) return std::nullopt;
    if (options.operands.empty()) return options.equirect ? "no panorama given" : "no strip given";
    if (options.operands.size() > 2) return "too many arguments";
    if (options.preview && options.preview->empty()) return "--preview needs a file name";
    if (options.fit && options.equirect) return "--fit is for strips; a panorama is projected whatever its size";
    if (!options.equirect && (options.north || options.ground)) return "--north and --ground need --equirect";
    if (options.ground && *options.ground != "nadir" && *options.ground != "template")
        return "--ground takes nadir or template";
    return std::nullopt;
}

// Parses the arguments; returns an error text for a usage error.
std::optional<std::string> ParseOptions(const std::vector<std::string>& arguments, Options& options) {
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
            options.verbose = true;
        } else if (argument == "--fit") {
            options.fit = true;
        } else if (argument == "--equirect") {
            options.equirect = true;
        } else if (Names(argument, "--preview")) {
            options.preview = ValueOf("--preview", arguments, i);
            if (!options.preview) return "--preview needs a file name";
        } else if (Names(argument, "--north")) {
            const auto value = ValueOf("--north", arguments, i);
            options.north = value ? Degrees(*value) : std::nullopt;
            if (!options.north) return "--north needs a number of degrees";
        } else if (Names(argument, "--ground")) {
            options.ground = ValueOf("--ground", arguments, i);
            if (!options.ground) return "--ground takes nadir or template";
        } else {
            return "unknown option " + argument;
        }
    }
    return CheckOptions(options);
}

// Prints one message on one line: control characters in paths are shown escaped.
class Console {
public:
    explicit Console(std::ostream& err) : err_(err) {}
    void Say(const std::string& text) { err_ << kPrefix << Printable(text) << '\n'; }

private:
    static std::string Printable(const std::string& text) {
        static constexpr char kHex[] = "0123456789abcdef";
        std::string out;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 0x20 && byte != 0x7F) {
                out += c;
            } else if (c == '\n') {
                out += "\\n";
            } else if (c == '\t') {
                out += "\\t";
            } else {
                out += "\\x";
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            }
        }
        return out;
    }
    std::ostream& err_;
};

// Shows the conversion on the console: each status text with --verbose. Failures are printed
// once, at the end, from the conversion's result.
class ConsoleHost final : public MemoryHost {
public:
    ConsoleHost(Console& console, bool verbose) : console_(console), verbose_(verbose) {}
    void SetStatusText(const std::string& text) override {
        MemoryHost::SetStatusText(text);
        if (verbose_) console_.Say(text);
    }

private:
    Console& console_;
    bool verbose_;
};

bool PrepareFolder(const std::filesystem::path& folder, Console& console) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return true;
    std::filesystem::create_directories(folder, error);
    if (!error) return true;
    console.Say("cannot create the output folder " + Utf8FromPath(folder) + ": " + error.message());
    return false;
}

PanoramaOptions PanoramaOptionsOf(const Options& options) {
    return {options.north.value_or(kDefaultNorthDegrees), options.ground == "template"};
}

// After a refused size: what was found, and what would take it.
void SayWayForward(const Options& options, const SkyResult& result, Console& console) {
    const std::string found = "found " + std::to_string(result.strip.width) + "x" + std::to_string(result.strip.height);
    if (options.equirect)
        console.Say(found);
    else if (IsEquirectangular(result.strip.width, result.strip.height))
        console.Say(found + "; add --fit to resample it, or --equirect if it is a 360-degree panorama");
    else if (FittedStripSize(result.strip))
        console.Say(found + "; add --fit to resample it");
    else
        console.Say(found + "; a strip is 1, 2 or 4 times as wide as it is high");
}

int Convert(const Options& options, const ConverterSetup& setup, Console& console) {
    const std::string& strip = options.operands[0];
    const auto folder = options.operands.size() > 1 ? PathFromUtf8(options.operands[1]) : std::filesystem::path(".");
    if (!PrepareFolder(folder, console)) return kExitFailed;
    ConsoleHost host(console, options.verbose);
    const SkyContext context{host,           setup.files, Utf8FromPath(folder / ""), setup.programFolder,
                             setup.decoders, options.fit};
    const SkyResult result = options.equirect ? ProcessPanorama(strip, context, PanoramaOptionsOf(options))
                                              : ProcessSky(strip, context);
    if (result.outcome != SkyOutcome::Completed) {
        // With --verbose a failure in the status line has been printed already.
        const bool printed = options.verbose && host.LastMessage().empty();
        if (!printed) console.Say(result.text);
        if (result.outcome == SkyOutcome::Refused && result.strip.width > 0) SayWayForward(options, result, console);
        return kExitFailed;
    }
    if (options.preview) {
        std::string error;
        if (!WriteCubePreview(setup.files, folder, PathFromUtf8(*options.preview), error)) {
            console.Say(error);
            return kExitFailed;
        }
    }
    if (options.verbose) console.Say("AllDone");
    return kExitConverted;
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& arguments, const ConverterSetup& setup, std::ostream& out,
                      std::ostream& err) {
    Options options;
    Console console(err);
    if (const auto error = ParseOptions(arguments, options)) {
        console.Say(*error);
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
    return Convert(options, setup, console);
}

}  // namespace zenivor
