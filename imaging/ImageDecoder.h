#pragma once
// One image format the program reads. The core knows TGA; the front ends add the formats of
// the image-format library beside it, so the core needs no third-party library.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "imaging/ByteSource.h"
#include "imaging/ImageErrors.h"
#include "imaging/LinearLight.h"
#include "imaging/RgbImage.h"

namespace zenivor {

// The largest images any decoder holds: 2^28 pixels (768 MiB of RGB), more than any panorama the
// program takes, and 2^20 on a side. A header declaring more is refused with TooLarge before
// anything is allocated for its pixels.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 28;
inline constexpr int kMaxImageSide = 1 << 20;

// TooLarge when the image is over those limits; the detail names its size.
Result<void> CheckDecodableSize(ImageSize size);
// UnexpectedSize when a non-zero field of expected differs from the (upright) size.
Result<void> CheckExpectedSize(ImageSize size, ImageSize expected);
// Both, in that order.
Result<void> CheckSize(ImageSize size, ImageSize expected);
// TruncatedPixels when a source of available bytes cannot hold the image's data, which takes at
// least minimumBytes however well it is compressed: nothing is allocated for pixels a file
// cannot have.
Result<void> CheckDataCanHold(ImageSize size, std::uint64_t available, std::uint64_t minimumBytes);

// How many leading bytes Recognises() is shown (fewer when the file is shorter).
inline constexpr std::size_t kSignatureBytes = 16;

class ImageDecoder {
public:
    virtual ~ImageDecoder() = default;
    // The format's usual name, as messages use it: "TGA", "PNG", "JPEG".
    virtual std::string_view Name() const = 0;
    // Whether the file's first bytes carry this format's signature.
    virtual bool Recognises(std::span<const std::uint8_t> head) const = 0;
    // The image's size, from its header alone.
    virtual Result<ImageSize> ReadSize(ByteSource& source) const = 0;
    // The whole image, as it is seen upright. A non-zero width or height in expected is the size
    // the caller asks for; another size fails with UnexpectedSize before any pixel is decoded.
    virtual Result<RgbImage> Read(ByteSource& source, ImageSize expected) const = 0;
    // As Read, or the image shrunk by a power of two up to largestFactor (each side rounded
    // up), where the format can do that for less than decoding it whole; the caller tells which
    // from the size. expected is the whole image's size.
    virtual Result<RgbImage> ReadReduced(ByteSource& source, ImageSize expected, int largestFactor) const {
        (void)largestFactor;
        return Read(source, expected);
    }
    // The image as linear light, handed to sink a band of rows at a time (see
    // imaging/LinearLight.h); expected and largestFactor as for ReadReduced. Formats of more than
    // 8 bits a sample keep their precision; this default decodes as ReadReduced does.
    virtual Result<void> ReadRows(ByteSource& source, ImageSize expected, int largestFactor, RowSink& sink) const;
    // What the format's linear values mean: scene-referred radiance for the HDR formats.
    virtual Light LightHeld() const { return Light::Display; }
};

}  // namespace zenivor
