#include "util/Result.h"

#include <array>
#include <system_error>

namespace zenivor {
namespace {

constexpr std::array kTexts{
    ImgErrcEntry{ImgErrc::FileOpen, "the file cannot be opened"},
    ImgErrcEntry{ImgErrc::NotAFile, "not a regular file"},
    ImgErrcEntry{ImgErrc::FileRead, "the file cannot be read"},
    ImgErrcEntry{ImgErrc::TruncatedHeader, "the file is shorter than an image header"},
    ImgErrcEntry{ImgErrc::UnknownType, "not a TGA image type Zenivor reads"},
    ImgErrcEntry{ImgErrc::UnknownColorMapType, "unknown colour-map type"},
    ImgErrcEntry{ImgErrc::BadColorMapDepth, "colour-map entries of an unknown depth"},
    ImgErrcEntry{ImgErrc::BadPixelDepth, "a pixel depth that does not fit the image type"},
    ImgErrcEntry{ImgErrc::Interleaved, "interleaved rows, which TGA 2.0 retired"},
    ImgErrcEntry{ImgErrc::ZeroSize, "a width or height of 0"},
    ImgErrcEntry{ImgErrc::MissingColorMap, "a colour-mapped image without a colour map"},
    ImgErrcEntry{ImgErrc::TruncatedColorMap, "the file ends inside its colour map"},
    ImgErrcEntry{ImgErrc::TruncatedPixels, "the file ends inside its pixel data"},
    ImgErrcEntry{ImgErrc::RleOverrun, "a compressed run goes past the last pixel"},
    ImgErrcEntry{ImgErrc::ColorIndexRange, "a colour index outside the colour map"},
    ImgErrcEntry{ImgErrc::OutOfMemory, "not enough memory for the image"},
    ImgErrcEntry{ImgErrc::FileCreate, "the file cannot be created or put in place"},
    ImgErrcEntry{ImgErrc::FileWrite, "the file cannot be written"},
    ImgErrcEntry{ImgErrc::UnexpectedSize, "the image has another size than expected"},
    ImgErrcEntry{ImgErrc::BadPng, "a damaged PNG file"},
    ImgErrcEntry{ImgErrc::BadJpeg, "a damaged JPEG file"},
    ImgErrcEntry{ImgErrc::TooLarge, "the image is too large"},
    ImgErrcEntry{ImgErrc::UnknownFormat, "an image format Zenivor does not read"},
};

}  // namespace

std::string_view ImgErrcText(ImgErrc code) {
    for (const ImgErrcEntry& entry : kTexts)
        if (entry.code == code) return entry.text;
    return "unknown error";
}

std::span<const ImgErrcEntry> AllImgErrcTexts() { return kTexts; }

std::string Reason(const ImgError& error) {
    std::string text = error.systemError != 0 ? std::generic_category().message(error.systemError)
                                              : std::string(ImgErrcText(error.code));
    if (!error.detail.empty()) text.append(": ").append(error.detail);
    return text;
}

std::string NumberAndReason(const ImgError& error) {
    return std::to_string(error.Number()) + " (" + Reason(error) + ")";
}

}  // namespace zenivor
