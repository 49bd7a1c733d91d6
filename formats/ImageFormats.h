#pragma once
// The image formats the program reads beside the core's TGA, each through the library made for
// it: PNG through libpng, JPEG through libjpeg-turbo, TIFF through libtiff, WebP through libwebp,
// OpenEXR through the OpenEXR core library; and Radiance HDR, which no library of the system
// reads alone, through a small strict decoder of our own. Embedded colour profiles are turned
// into sRGB through Little CMS. Each decoder is a stateless singleton, so several threads may
// decode at once with the same one.

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/ImageFiles.h"

namespace zenivor {

namespace errc {
inline constexpr ErrorKind BadPng{25, "a damaged PNG file"};
inline constexpr ErrorKind BadJpeg{26, "a damaged JPEG file"};
inline constexpr ErrorKind BadTiff{29, "a damaged TIFF file"};
inline constexpr ErrorKind BadWebp{30, "a damaged WebP file"};
inline constexpr ErrorKind BadExr{31, "a damaged OpenEXR file"};
inline constexpr ErrorKind BadHdr{32, "a damaged Radiance HDR file"};
// A well-formed file of a kind the program does not take (the detail names what it holds).
inline constexpr ErrorKind UnsupportedLayout{33, "an image layout Zenivor does not read"};
// Decoding would cost more time or memory than any image of the file's size may.
inline constexpr ErrorKind OverBudget{34, "the file would take too much work to decode"};
}  // namespace errc

// This library's kinds of error, and every kind of every layer in order of their numbers (the
// help page lists them).
std::span<const ErrorKind> FormatErrorKinds();
std::vector<ErrorKind> AllErrorKinds();

const ImageDecoder& PngDecoder();
const ImageDecoder& JpegDecoder();
const ImageDecoder& TiffDecoder();
const ImageDecoder& WebpDecoder();
const ImageDecoder& ExrDecoder();
const ImageDecoder& HdrDecoder();

// Every format a strip or a panorama may come in, recognised by signature: PNG, JPEG, TIFF,
// WebP, OpenEXR, Radiance HDR, and TGA (which has none) for everything else.
DecoderList PanoramaDecoders();

}  // namespace zenivor
