#pragma once
// TGA decoding and encoding on bytes in memory, after the Truevision TGA File Format
// Specification 2.0. Kept apart from file access so the fuzzer and the tests drive it directly.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/ImgDll.h"

namespace zenivor {

inline constexpr std::size_t kTgaHeaderSize = 18;

struct TgaHeader {
    int idLength = 0;
    int colorMapType = 0;
    int imageType = 0;
    int colorMapFirst = 0;
    int colorMapLength = 0;
    int colorMapDepth = 0;
    int width = 0;
    int height = 0;
    int pixelDepth = 0;
    int descriptor = 0;

    bool Compressed() const { return imageType >= 9; }
    bool ColorMapped() const { return imageType == 1 || imageType == 9; }
    bool RightToLeft() const { return (descriptor & 0x10) != 0; }
    bool TopToBottom() const { return (descriptor & 0x20) != 0; }
    std::size_t PixelCount() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
    std::size_t BytesPerPixel() const { return static_cast<std::size_t>(pixelDepth + 7) / 8; }
    std::size_t ColorMapBytes() const;
};

// Parses and checks the header: every field that decides how the rest is read.
ImgError ParseTgaHeader(std::span<const std::uint8_t> bytes, TgaHeader& header);
// The fewest bytes a file with this header can have; files shorter than this are truncated,
// so nothing is allocated for them.
std::size_t MinimumTgaFileSize(const TgaHeader& header);
// Whether the file is long enough for what its header declares: kImgTruncatedColorMap or
// kImgTruncatedPixels when it is not. Checked before anything is allocated for the pixels.
ImgError CheckTgaFileSize(std::span<const std::uint8_t> file, const TgaHeader& header);
// Decodes the whole file into out, which holds width x height x 3 bytes (RGB, top row first).
ImgError DecodeTga(std::span<const std::uint8_t> file, const TgaHeader& header, std::uint8_t* out);
// An uncompressed 24-bit, bottom-left-origin TGA of the RGB pixels.
std::vector<std::uint8_t> EncodeTga24(const std::uint8_t* rgb, int width, int height);

}  // namespace zenivor
