#pragma once
// TGA reading and writing, after the Truevision TGA File Format Specification 2.0.
//
// The reader is strict and bounded: it reads the header, the ID, the colour map and exactly the
// pixel data the header declares, checks that the source can hold that data before it allocates
// anything, and never looks at what follows (a TGA 2.0 extension area and footer, or anything
// else). Memory is the decoded image plus a fixed read buffer, whatever the file's size.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/ByteSource.h"
#include "imaging/ImageDecoder.h"
#include "imaging/RgbImage.h"

namespace zenivor {

inline constexpr std::size_t kTgaHeaderSize = 18;

struct TgaHeader {
    int idLength = 0;
    int colourMapType = 0;
    int imageType = 0;
    int colourMapFirst = 0;
    int colourMapLength = 0;
    int colourMapDepth = 0;
    int width = 0;
    int height = 0;
    int pixelDepth = 0;
    int descriptor = 0;

    bool Compressed() const { return imageType >= 9; }
    bool ColourMapped() const { return imageType == 1 || imageType == 9; }
    bool Grey() const { return imageType == 3 || imageType == 11; }
    bool RightToLeft() const { return (descriptor & 0x10) != 0; }
    bool TopToBottom() const { return (descriptor & 0x20) != 0; }
    std::uint64_t PixelCount() const { return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height); }
    std::size_t BytesPerPixel() const { return static_cast<std::size_t>(pixelDepth + 7) / 8; }
    std::size_t ColourMapBytes() const;
    // Where the pixel data starts: after the header, the ID and the colour map.
    std::uint64_t PixelDataOffset() const;
};

// Parses and checks the header: every field that decides how the rest is read.
Result<TgaHeader> ParseTgaHeader(std::span<const std::uint8_t> bytes);
Result<TgaHeader> ReadTgaHeader(ByteSource& source);
// The fewest bytes a file with this header can have.
std::uint64_t MinimumTgaFileSize(const TgaHeader& header);

// The general path converts and places one pixel at a time and reads every layout; the fast
// paths handle the common layouts (24 and 32 bits, plain or RLE, any origin) a row at a time.
// Both give the same pixels; the tests hold them to it.
enum class TgaDecodePath { Fast, General };

// Reads the image into out, reusing its buffer. A non-zero width or height in expected is the
// size the caller asks for; a file of another size gives UnexpectedSize.
Result<void> ReadTgaInto(ByteSource& source, ImageSize expected, RgbImage& out,
                         TgaDecodePath path = TgaDecodePath::Fast);
Result<RgbImage> ReadTga(ByteSource& source, ImageSize expected = {}, TgaDecodePath path = TgaDecodePath::Fast);

// The file the program writes: uncompressed 24-bit (type 2), bottom-left origin, no ID, no
// colour map, no footer. It is written as the header and then the image's own rows, bottom row
// first, so no copy of the pixels is made; the pieces point into header and image.
std::array<std::uint8_t, kTgaHeaderSize> Tga24Header(const RgbImage& image);
std::vector<std::span<const std::uint8_t>> Tga24Pieces(const RgbImage& image,
                                                       const std::array<std::uint8_t, kTgaHeaderSize>& header);

const ImageDecoder& TgaDecoder();

}  // namespace zenivor
