#pragma once
// The image formats the program reads through third-party libraries: PNG through libpng and
// JPEG through libjpeg-turbo. Each decoder is a stateless singleton, so several threads may
// decode at once with the same one.

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/ImageFiles.h"

namespace zenivor {

namespace errc {
inline constexpr ErrorKind BadPng{25, "a damaged PNG file"};
inline constexpr ErrorKind BadJpeg{26, "a damaged JPEG file"};
}  // namespace errc

// This library's kinds of error, and every kind of every layer in order of their numbers (the
// help page lists them).
std::span<const ErrorKind> FormatErrorKinds();
std::vector<ErrorKind> AllErrorKinds();

const ImageDecoder& PngDecoder();
const ImageDecoder& JpegDecoder();

// Every format a panorama may come in, recognised by signature: PNG, JPEG, and TGA (which has
// none) for everything else.
DecoderList PanoramaDecoders();

}  // namespace zenivor
