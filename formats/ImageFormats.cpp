#include "formats/ImageFormats.h"

#include <algorithm>
#include <array>

#include "imaging/Tga.h"

namespace zenivor {

namespace {

constexpr std::array kFormatErrorKinds{errc::BadPng, errc::BadJpeg, errc::BadTiff,           errc::BadWebp,
                                       errc::BadExr, errc::BadHdr,  errc::UnsupportedLayout, errc::OverBudget};

}  // namespace

std::span<const ErrorKind> FormatErrorKinds() { return kFormatErrorKinds; }

std::vector<ErrorKind> AllErrorKinds() {
    std::vector<ErrorKind> kinds;
    for (const auto layer : {FileErrorKinds(), ImageErrorKinds(), FormatErrorKinds()})
        kinds.insert(kinds.end(), layer.begin(), layer.end());
    std::sort(kinds.begin(), kinds.end(), [](const ErrorKind& a, const ErrorKind& b) { return a.number < b.number; });
    return kinds;
}

DecoderList PanoramaDecoders() {
    static const ImageDecoder* const decoders[] = {&PngDecoder(), &JpegDecoder(), &TiffDecoder(), &WebpDecoder(),
                                                   &ExrDecoder(), &HdrDecoder(),  &TgaDecoder()};
    return decoders;
}

}  // namespace zenivor
