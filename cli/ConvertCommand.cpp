#include "cli/ConvertCommand.h"

#include <optional>
#include <ostream>

#include "cli/Preview.h"
#include "conversion/ProcessSky.h"
#include "util/Files.h"

namespace zenivor {
namespace {

constexpr const char* kPrefix = "zenivor-convert: ";

constexpr const char* kUsage =
    "Usage: zenivor-convert [OPTIONS] STRIP.tga [OUTPUT-FOLDER]\n"
    "Turns a panorama strip (a TGA 504 high and 504, 1008 or 2016 wide) into the six files\n"
    "F0010001.tga to F0060001.tga of a sky cube, written into OUTPUT-FOLDER (default: the\n"
    "current folder).\n"
    "\n"
    "Options:\n"
    "  -v, --verbose         print each step\n"
    "      --preview FILE    also write a PNG picture of the unfolded cube\n"
    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "  --                    end of options\n"
    "\n"
    "Exit status: 0 when all six files are written, 1 when the conversion failed, 2 for a\n"
    "usage error.\n";

struct Options {
    bool help = false;
    bool version = false;
    bool verbose = false;
    std::optional<std::string> preview;
    std::vector<std::string> operands;
};

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
        } else if (argument == "--preview") {
            if (++i == arguments.size()) return "--preview needs a file name";
            options.preview = arguments[i];
        } else if (argument.starts_with("--preview=")) {
            options.preview = argument.substr(std::string("--preview=").size());
        } else {
            return "unknown option " + argument;
        }
    }
    if (options.help || options.version) return std::nullopt;
    if (options.operands.empty()) return "no strip given";
    if (options.operands.size() > 2) return "too many arguments";
    if (options.preview && options.preview->empty()) return "--preview needs a file name";
    return std::nullopt;
}

// Shows the conversion on the console: messages always, each status text with --verbose.
class ConsoleHost final : public MemoryHost {
public:
    ConsoleHost(std::ostream& err, bool verbose) : err_(err), verbose_(verbose) {}
    void SetStatusText(const std::string& text) override {
        MemoryHost::SetStatusText(text);
        statusShown_ = verbose_;
        if (verbose_) err_ << kPrefix << text << '\n';
    }
    void ShowMessage(const std::string& text) override {
        MemoryHost::ShowMessage(text);
        statusShown_ = true;  // the message explains the failure; the status line adds nothing
        err_ << kPrefix << text << '\n';
    }
    // A failure left in the status line that has not been printed yet.
    void ReportFailure() {
        if (!statusShown_ && !Status().empty()) err_ << kPrefix << Status() << '\n';
    }

private:
    std::ostream& err_;
    bool verbose_;
    bool statusShown_ = false;
};

bool PrepareFolder(const std::filesystem::path& folder, std::ostream& err) {
    std::error_code error;
    if (folder.empty() || std::filesystem::is_directory(folder, error)) return true;
    std::filesystem::create_directories(folder, error);
    if (!error) return true;
    err << kPrefix << "cannot create the output folder " << Utf8FromPath(folder) << ": " << error.message() << '\n';
    return false;
}

int Convert(const Options& options, const std::filesystem::path& programFolder, std::ostream& err) {
    const std::string& strip = options.operands[0];
    const auto folder = options.operands.size() > 1 ? PathFromUtf8(options.operands[1]) : std::filesystem::path(".");
    if (!PrepareFolder(folder, err)) return kExitFailed;
    ConsoleHost host(err, options.verbose);
    ImgDLLStringInitDLL();
    const SkyContext context{host, SystemImagingApi(), Utf8FromPath(folder / ""), programFolder};
    if (!ProcessSky(strip, context)) {
        host.ReportFailure();
        return kExitFailed;
    }
    if (options.preview) {
        std::string error;
        if (!WriteCubePreview(folder, PathFromUtf8(*options.preview), error)) {
            err << kPrefix << error << '\n';
            return kExitFailed;
        }
    }
    if (options.verbose) err << kPrefix << "AllDone\n";
    return kExitConverted;
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& arguments, const std::filesystem::path& programFolder,
                      std::ostream& out, std::ostream& err) {
    Options options;
    if (const auto error = ParseOptions(arguments, options)) {
        err << kPrefix << *error << "\nTry 'zenivor-convert --help' for more information.\n";
        return kExitUsage;
    }
    if (options.help) {
        out << kUsage;
        return kExitConverted;
    }
    if (options.version) {
        out << "zenivor-convert 1.0.2\n";
        return kExitConverted;
    }
    return Convert(options, programFolder, err);
}

}  // namespace zenivor
