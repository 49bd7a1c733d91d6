#pragma once
// Makes PNG and JPEG files for the format tests through libpng's and libjpeg's own encoders,
// and the byte sources, Exif blocks and file surgery the tests need.

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/ByteSource.h"
#include "imaging/RgbImage.h"
#include "util/Result.h"

namespace zenivor::test {

using Bytes = std::vector<std::uint8_t>;
inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

struct PngPicture {
    int width = 0;
    int height = 0;
    int colourType = 0;  // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<std::uint16_t> samples;  // width x height x channels, as stored; palette indices for palettes
    std::vector<Rgb> palette;
    std::vector<std::uint8_t> paletteAlpha;  // a tRNS chunk for a palette
    bool transparentFirstColour = false;     // a tRNS chunk naming the first pixel's grey or colour
    Bytes exif;                              // an eXIf chunk's contents
    bool exifAfterPixels = false;            // where the eXIf chunk goes
    std::string text;                        // a tEXt chunk
    Bytes icc;                               // an iCCP chunk's profile
};

PngPicture NewPng(int width, int height, int colourType, int bitDepth = 8);
Bytes EncodePng(const PngPicture& picture);
// An 8-bit RGB PNG of the image.
Bytes EncodeRgbPng(const RgbImage& image, const Bytes& exif = {});

enum class JpegKind { YCbCr, Rgb, Grey, AdobeCmyk, AdobeYcck, PlainCmyk };

// One scan of a progressive script, for a one-component (grey) image.
struct JpegScan {
    int first;  // coefficients first to last
    int last;
    int high;  // successive approximation: the bit of the last scan, and this one's
    int low;
};

struct JpegPicture {
    int width = 0;
    int height = 0;
    JpegKind kind = JpegKind::YCbCr;
    Bytes samples;  // width x height x (1 grey, 3 RGB, 4 CMYK as stored) samples
    int quality = 100;
    bool progressive = false;
    std::vector<Bytes> app1;      // APP1 segments' contents, in order
    std::vector<JpegScan> scans;  // a progressive script of its own
    Bytes icc;                    // an ICC profile in APP2 segments
};

JpegPicture NewJpeg(int width, int height, JpegKind kind);
// Quality as given, every component sampled in full (4:4:4).
Bytes EncodeJpeg(const JpegPicture& picture);
Bytes EncodeRgbJpeg(const RgbImage& image, std::vector<Bytes> app1 = {}, bool progressive = false);

// A TIFF block whose first directory holds a camera-make entry and then the orientation.
Bytes ExifTiff(bool bigEndian, int orientation);
// The same as an APP1 segment's contents.
Bytes ExifApp1(const Bytes& tiff);

// PNG surgery: where a chunk's length field starts (or npos), and rewriting its CRC.
std::size_t FindPngChunk(const Bytes& png, const char* type);
void FixPngCrc(Bytes& png, std::size_t chunk);
void SetPngSize(Bytes& png, std::uint32_t width, std::uint32_t height);
// JPEG surgery: where the marker FF code starts (or npos), the size in its SOF, the start of
// the first scan's entropy-coded data.
std::size_t FindJpegMarker(const Bytes& jpeg, std::uint8_t code);
void SetJpegSize(Bytes& jpeg, std::uint16_t width, std::uint16_t height);
std::size_t ScanDataStart(const Bytes& jpeg);

// A decoder's refusal of a file: of this kind, with a reason given.
void ExpectRefused(const Result<RgbImage>& image, ErrorKind code);

// An image whose colours change with x in red and with y in green: every turn and mirror
// of it differs from it, and JPEG keeps its gentle slopes close.
RgbImage SlopeImage(int width, int height);
// Pseudo-random pixels, which compress poorly.
RgbImage NoiseImage(int width, int height);
// The largest difference of any channel of any pixel; images of different sizes give 256.
int MaxDifference(const RgbImage& a, const RgbImage& b);

// Counts the bytes the decoders ask for.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(const Bytes& bytes) : inner_(bytes) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::uint64_t requested = 0;
    std::uint64_t furthestEnd = 0;  // the end of the furthest read

private:
    MemorySource inner_;
};

// Fails every read that reaches past failAt, as a failing disk would.
class FailingSource final : public ByteSource {
public:
    FailingSource(const Bytes& bytes, std::uint64_t failAt) : inner_(bytes), failAt_(failAt) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    MemorySource inner_;
    std::uint64_t failAt_;
};

}  // namespace zenivor::test
