#pragma once
// The image formats the program reads through third-party libraries: PNG through libpng and
// JPEG through libjpeg-turbo. Each decoder is a stateless singleton, so several threads may
// decode at once with the same one.

#include <cstdint>

#include "imaging/ImageFiles.h"

namespace zenivor {

// The largest images the decoders hold: 2^28 pixels (768 MiB of RGB) and 2^20 on a side.
// Larger ones fail with TooLarge before anything is allocated for their pixels.
inline constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{1} << 28;
inline constexpr int kMaxDecodedSide = 1 << 20;

const ImageDecoder& PngDecoder();
const ImageDecoder& JpegDecoder();

// Every format a panorama may come in, recognised by signature: PNG, JPEG, and TGA (which has
// none) for everything else.
DecoderList PanoramaDecoders();

}  // namespace zenivor
