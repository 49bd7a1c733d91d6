#pragma once
// Writes TIFF, WebP and OpenEXR files for the format tests through each library's own encoder
// (libtiff, libwebp, OpenEXR's C++ library, which writes without the core the decoder reads
// through), Radiance HDR through a writer of our own after Greg Ward's rgbe.c (independent of the
// decoder: it packs floats by frexp, and finds runs its own way), and colour profiles through
// Little CMS.

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/RgbImage.h"
#include "tests/FormatsTestFiles.h"

namespace zenivor::test {

struct TiffPicture {
    int width = 0;
    int height = 0;
    int samples = 3;  // samples a pixel: 1 grey or palette, 2 grey and alpha, 3 RGB, 4 RGBA
    int bits = 8;
    int photometric = 2;                 // PHOTOMETRIC_*
    std::vector<std::uint16_t> values;   // width x height x samples, as stored
    std::vector<std::uint16_t> palette;  // reds, then greens, then blues: 3 x 2^bits entries
    int compression = 1;                 // COMPRESSION_*
    bool planes = false;                 // each sample in a plane of its own
    int tileSide = 0;                    // tiles of this side (a multiple of 16), else strips
    int rowsPerStrip = 0;                // 0: libtiff's choice
    bool bigTiff = false;
    bool bigEndian = false;
    int orientation = 1;
    Bytes icc;
    bool secondPage = false;  // a second, different image after the first
};

TiffPicture NewTiff(int width, int height, int samples, int bits);
Bytes EncodeTiff(const TiffPicture& picture);
// An 8-bit RGB TIFF of the image, LZW-compressed.
Bytes EncodeRgbTiff(const RgbImage& image);

enum class WebpKind { Lossless, Lossy };
Bytes EncodeWebp(const RgbImage& image, WebpKind kind, bool alpha = false, const Bytes& icc = {});

struct ExrPicture {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;  // width x height x 3: red, green, blue radiance
    bool half = true;        // else 32-bit float samples
    bool grey = false;       // a Y channel (the red values) instead of R, G, B
    bool alpha = false;
    int compression = 0;  // Imf::Compression
    int tileSide = 0;     // tiles, else scanlines
    bool mipmap = false;
    int left = 0;  // the data window's origin
    int top = 0;
};
Bytes EncodeExr(const ExrPicture& picture);

struct HdrPicture {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;  // width x height x 3
    bool runLength = true;
    std::string header = "FORMAT=32-bit_rle_rgbe\n";  // the variables after the signature line
    std::string resolution;                           // empty: "-Y height +X width"
};
Bytes EncodeHdr(const HdrPicture& picture);

// A Display P3 profile (P3 primaries, D65, the sRGB curve) as ICC bytes.
Bytes DisplayP3Profile();
// Little CMS's own transform of 8-bit pixels from the profile to sRGB, perceptual intent.
RgbImage LcmsToSrgb(const RgbImage& image, const Bytes& icc);

}  // namespace zenivor::test
