#pragma once
// zenivor-convert: the whole conversion from a shell, with no display.

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "formats/ImageFormats.h"
#include "imaging/ImageFiles.h"
#include "util/FileSystem.h"

namespace zenivor {

inline constexpr int kExitConverted = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// The cube is written whole, but the --preview picture is not.
inline constexpr int kExitPreviewFailed = 3;

// The converter's own kinds of error, whose detail is the whole text to show.
namespace errc {
inline constexpr ErrorKind BadUsage{90, "a usage error"};
inline constexpr ErrorKind ConversionFailed{91, "the conversion failed"};
}  // namespace errc

// What the converter works with; the tests hand in their own file system.
struct ConverterSetup {
    std::filesystem::path programFolder;  // holds the ground template
    FileSystem& files = SystemFileSystem();
    DecoderList decoders = PanoramaDecoders();
    // Standard error is a terminal: a batch then shows a progress line.
    bool terminal = false;
    // The ground copied into every cube when it is not the one in programFolder (the user's own).
    std::filesystem::path groundTemplate = {};
    // What "-" reads.
    int standardInput = 0;
    // The converter takes the ending signals (the program's own run; not the tests').
    bool endingSignals = false;
    // Says what is not a failure but must be seen, such as a wait for another conversion; set by
    // RunConvertCommand.
    std::function<void(const std::string&)> notice = nullptr;
};

// Runs the converter on its arguments (without the program name). Returns the exit status.
int RunConvertCommand(const std::vector<std::string>& arguments, const ConverterSetup& setup, std::ostream& out,
                      std::ostream& err);

}  // namespace zenivor
