#include "tests/FormatsWriters.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfOutputFile.h>
#include <ImfTiledOutputFile.h>
#include <lcms2.h>
#include <tiffio.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zenivor::test {
namespace {

// TIFF: libtiff writes a file; its bytes are the picture.

// A row of samples as stored: packed MSB first below 8 bits, 16-bit ones in the machine's order.
Bytes PackedRow(const std::uint16_t* values, std::size_t count, int bits) {
    Bytes row;
    if (bits == 16) {
        row.resize(count * 2);
        std::memcpy(row.data(), values, count * 2);
        return row;
    }
    row.assign((count * static_cast<std::size_t>(bits) + 7) / 8, 0);
    // Most significant bit first, one bit at a time: any width, across byte boundaries.
    for (std::size_t i = 0; i < count; ++i)
        for (int k = 0; k < bits; ++k) {
            const std::size_t bit = i * static_cast<std::size_t>(bits) + static_cast<std::size_t>(k);
            if ((values[i] >> (bits - 1 - k)) & 1U)
                row[bit / 8] = static_cast<std::uint8_t>(row[bit / 8] | 0x80U >> (bit % 8));
        }
    return row;
}

// The stored values of row y, in plane p (all samples when interleaved).
std::vector<std::uint16_t> RowValues(const TiffPicture& picture, int y, int plane) {
    const std::size_t base = static_cast<std::size_t>(y) * picture.width * picture.samples;
    if (!picture.planes)
        return {picture.values.begin() + base, picture.values.begin() + base + picture.width * picture.samples};
    std::vector<std::uint16_t> row;
    for (int x = 0; x < picture.width; ++x) row.push_back(picture.values[base + x * picture.samples + plane]);
    return row;
}

void SetTiffFields(TIFF* tiff, const TiffPicture& picture) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, picture.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, picture.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, picture.bits);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, picture.samples);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, picture.planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, picture.compression);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, picture.orientation);
    const bool jpeg = picture.compression == COMPRESSION_JPEG;
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 jpeg && picture.photometric == PHOTOMETRIC_RGB ? PHOTOMETRIC_YCBCR : picture.photometric);
    if (jpeg) {
        TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 100);
        if (picture.photometric == PHOTOMETRIC_RGB) TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    const int extra = picture.photometric == PHOTOMETRIC_RGB ? picture.samples - 3 : picture.samples - 1;
    if (extra > 0) {
        const std::uint16_t kinds[4] = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED, EXTRASAMPLE_UNSPECIFIED, 0};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, extra, kinds);
    }
    if (picture.photometric == PHOTOMETRIC_PALETTE) {
        const std::size_t entries = std::size_t{1} << picture.bits;
        TIFFSetField(tiff, TIFFTAG_COLORMAP, picture.palette.data(), picture.palette.data() + entries,
                     picture.palette.data() + 2 * entries);
    }
    if (!picture.icc.empty())
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(picture.icc.size()), picture.icc.data());
    if (picture.tileSide > 0) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, picture.tileSide);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, picture.tileSide);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                     picture.rowsPerStrip > 0 ? picture.rowsPerStrip : TIFFDefaultStripSize(tiff, 0));
    }
}

void WriteTiles(TIFF* tiff, const TiffPicture& picture) {
    const int planes = picture.planes ? picture.samples : 1;
    const int perPixel = picture.planes ? 1 : picture.samples;
    const int side = picture.tileSide;
    for (int plane = 0; plane < planes; ++plane)
        for (int ty = 0; ty < picture.height; ty += side)
            for (int tx = 0; tx < picture.width; tx += side) {
                Bytes tile;
                for (int r = 0; r < side; ++r) {
                    std::vector<std::uint16_t> values(static_cast<std::size_t>(side) * perPixel, 0);
                    if (ty + r < picture.height) {
                        const std::vector<std::uint16_t> row = RowValues(picture, ty + r, plane);
                        for (int x = 0; x < side && tx + x < picture.width; ++x)
                            for (int c = 0; c < perPixel; ++c)
                                values[static_cast<std::size_t>(x) * perPixel + c] =
                                    row[static_cast<std::size_t>(tx + x) * perPixel + c];
                    }
                    const Bytes packed = PackedRow(values.data(), values.size(), picture.bits);
                    tile.insert(tile.end(), packed.begin(), packed.end());
                }
                TIFFWriteTile(tiff, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0,
                              static_cast<std::uint16_t>(plane));
            }
}

void WriteTiffImage(TIFF* tiff, const TiffPicture& picture) {
    SetTiffFields(tiff, picture);
    if (picture.tileSide > 0) {
        WriteTiles(tiff, picture);
        return;
    }
    const int planes = picture.planes ? picture.samples : 1;
    for (int plane = 0; plane < planes; ++plane)
        for (int y = 0; y < picture.height; ++y) {
            const std::vector<std::uint16_t> values = RowValues(picture, y, plane);
            Bytes row = PackedRow(values.data(), values.size(), picture.bits);
            TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), static_cast<std::uint16_t>(plane));
        }
}

Bytes FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// WebP's and OpenEXR's bytes in memory.

class MemoryStream final : public Imf::OStream {
public:
    MemoryStream() : Imf::OStream("memory") {}
    void write(const char c[], int n) override {
        if (at_ + static_cast<std::size_t>(n) > bytes.size()) bytes.resize(at_ + static_cast<std::size_t>(n));
        std::memcpy(bytes.data() + at_, c, static_cast<std::size_t>(n));
        at_ += static_cast<std::size_t>(n);
    }
    std::uint64_t tellp() override { return at_; }
    void seekp(std::uint64_t pos) override { at_ = pos; }
    Bytes bytes;

private:
    std::size_t at_ = 0;
};

// Ward's float2rgbe: the largest channel's binary exponent shared, each mantissa v * 256 / 2^e.
void PackRgbe(const float* rgb, std::uint8_t* out) {
    const float largest = std::max({rgb[0], rgb[1], rgb[2]});
    if (largest < 1e-32F) {
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    int exponent = 0;
    const double scale = std::frexp(largest, &exponent) * 256.0 / largest;
    for (int c = 0; c < 3; ++c) out[c] = static_cast<std::uint8_t>(rgb[c] * scale);
    out[3] = static_cast<std::uint8_t>(exponent + 128);
}

// One channel of a scanline as runs (of 4 or more equal bytes) and literals, as Ward's
// RGBE_WriteBytes_RLE does.
void AppendRuns(const Bytes& channel, Bytes& out) {
    std::size_t at = 0;
    while (at < channel.size()) {
        std::size_t run = 1;
        while (at + run < channel.size() && run < 127 && channel[at + run] == channel[at]) ++run;
        if (run >= 4) {
            out.push_back(static_cast<std::uint8_t>(128 + run));
            out.push_back(channel[at]);
            at += run;
            continue;
        }
        // Literals up to the next run of four.
        std::size_t end = at;
        while (end < channel.size() && end - at < 128) {
            if (end + 3 < channel.size() && channel[end] == channel[end + 1] && channel[end] == channel[end + 2] &&
                channel[end] == channel[end + 3])
                break;
            ++end;
        }
        if (end == at) end = at + 1;
        out.push_back(static_cast<std::uint8_t>(end - at));
        out.insert(out.end(), channel.begin() + static_cast<std::ptrdiff_t>(at),
                   channel.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
}

}  // namespace

TiffPicture NewTiff(int width, int height, int samples, int bits) {
    TiffPicture picture;
    picture.width = width, picture.height = height, picture.samples = samples, picture.bits = bits;
    picture.photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    picture.values.resize(static_cast<std::size_t>(width) * height * samples);
    return picture;
}

Bytes EncodeTiff(const TiffPicture& picture) {
    char path[] = "/tmp/zenivor-test-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) throw std::runtime_error("no temporary file");
    ::close(fd);
    std::string mode = "w";
    if (picture.bigTiff) mode += "8";
    mode += picture.bigEndian ? "b" : "l";
    TIFF* tiff = TIFFOpen(path, mode.c_str());
    if (tiff == nullptr) throw std::runtime_error("libtiff cannot write");
    WriteTiffImage(tiff, picture);
    if (picture.secondPage) {
        TIFFWriteDirectory(tiff);
        TiffPicture second = NewTiff(3, 2, 1, 8);
        std::fill(second.values.begin(), second.values.end(), 77);
        WriteTiffImage(tiff, second);
    }
    TIFFClose(tiff);
    Bytes bytes = FileBytes(path);
    std::remove(path);
    return bytes;
}

Bytes EncodeRgbTiff(const RgbImage& image) {
    TiffPicture picture = NewTiff(image.width, image.height, 3, 8);
    picture.compression = COMPRESSION_LZW;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c)
                picture.values[(static_cast<std::size_t>(y) * image.width + x) * 3 + c] = image.At(x, y)[c];
    return EncodeTiff(picture);
}

Bytes EncodeWebp(const RgbImage& image, WebpKind kind, bool alpha, const Bytes& icc) {
    std::uint8_t* encoded = nullptr;
    std::size_t size = 0;
    const int stride = static_cast<int>(image.RowBytes());
    if (alpha) {
        Bytes bgra;
        for (std::size_t i = 0; i < image.pixels.size(); i += 3) {
            bgra.insert(bgra.end(), image.pixels.begin() + static_cast<std::ptrdiff_t>(i),
                        image.pixels.begin() + static_cast<std::ptrdiff_t>(i + 3));
            bgra.push_back(static_cast<std::uint8_t>(128 + i % 127));  // alpha that varies, never so thin that
            // the encoder may change the colour under it
        }
        size = kind == WebpKind::Lossless
                   ? WebPEncodeLosslessBGRA(bgra.data(), image.width, image.height, image.width * 4, &encoded)
                   : WebPEncodeBGRA(bgra.data(), image.width, image.height, image.width * 4, 90, &encoded);
    } else {
        size = kind == WebpKind::Lossless
                   ? WebPEncodeLosslessBGR(image.pixels.data(), image.width, image.height, stride, &encoded)
                   : WebPEncodeBGR(image.pixels.data(), image.width, image.height, stride, 90, &encoded);
    }
    if (size == 0) throw std::runtime_error("libwebp cannot encode");
    Bytes bytes(encoded, encoded + size);
    WebPFree(encoded);
    if (icc.empty()) return bytes;
    const WebPData bitstream{bytes.data(), bytes.size()}, profile{icc.data(), icc.size()};
    WebPMux* mux = WebPMuxCreate(&bitstream, 1);
    WebPMuxSetChunk(mux, "ICCP", &profile, 1);
    WebPData assembled{};
    WebPMuxAssemble(mux, &assembled);
    Bytes withProfile(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return withProfile;
}

Bytes EncodeExr(const ExrPicture& picture) {
    const Imath::Box2i window({picture.left, picture.top},
                              {picture.left + picture.width - 1, picture.top + picture.height - 1});
    Imf::Header header(window, window);
    header.compression() = static_cast<Imf::Compression>(picture.compression);
    const Imf::PixelType type = picture.half ? Imf::HALF : Imf::FLOAT;
    const std::vector<std::string> names =
        picture.grey ? std::vector<std::string>{"Y"} : std::vector<std::string>{"R", "G", "B"};
    for (const std::string& name : names) header.channels().insert(name, Imf::Channel(type));
    if (picture.alpha) header.channels().insert("A", Imf::Channel(type));
    if (picture.tileSide > 0)
        header.setTileDescription(Imf::TileDescription(picture.tileSide, picture.tileSide,
                                                       picture.mipmap ? Imf::MIPMAP_LEVELS : Imf::ONE_LEVEL));
    // Samples in the type written, one plane a channel.
    const std::size_t count = static_cast<std::size_t>(picture.width) * picture.height;
    std::vector<std::vector<float>> floats(4, std::vector<float>(count));
    std::vector<std::vector<Imath::half>> halves(4, std::vector<Imath::half>(count));
    for (std::size_t i = 0; i < count; ++i)
        for (int c = 0; c < 4; ++c) {
            const float value = c < 3 ? picture.rgb[i * 3 + c] : 0.5F;
            floats[c][i] = value;
            halves[c][i] = Imath::half(value);
        }
    Imf::FrameBuffer frame;
    const std::size_t size = picture.half ? sizeof(Imath::half) : sizeof(float);
    const auto insert = [&](const std::string& name, int plane) {
        char* base = picture.half ? reinterpret_cast<char*>(halves[plane].data())
                                  : reinterpret_cast<char*>(floats[plane].data());
        base -= (static_cast<std::ptrdiff_t>(picture.top) * picture.width + picture.left) *
                static_cast<std::ptrdiff_t>(size);
        frame.insert(name, Imf::Slice(type, base, size, size * picture.width));
    };
    for (std::size_t i = 0; i < names.size(); ++i) insert(names[i], static_cast<int>(i));
    if (picture.alpha) insert("A", 3);
    MemoryStream stream;
    if (picture.tileSide > 0) {
        Imf::TiledOutputFile file(stream, header);
        file.setFrameBuffer(frame);
        file.writeTiles(0, file.numXTiles(0) - 1, 0, file.numYTiles(0) - 1, 0);
        // Coarser levels hold nothing the decoder reads; they must only be there.
        for (int level = 1; level < file.numLevels(); ++level)
            for (int ty = 0; ty < file.numYTiles(level); ++ty)
                for (int tx = 0; tx < file.numXTiles(level); ++tx) file.writeTile(tx, ty, level);
    } else {
        Imf::OutputFile file(stream, header);
        file.setFrameBuffer(frame);
        file.writePixels(picture.height);
    }
    return stream.bytes;
}

Bytes EncodeHdr(const HdrPicture& picture) {
    const std::string resolution = picture.resolution.empty()
                                       ? "-Y " + std::to_string(picture.height) + " +X " + std::to_string(picture.width)
                                       : picture.resolution;
    const std::string head = "#?RADIANCE\n" + picture.header + "\n" + resolution + "\n";
    Bytes out(head.begin(), head.end());
    for (int y = 0; y < picture.height; ++y) {
        Bytes rgbe(static_cast<std::size_t>(picture.width) * 4);
        for (int x = 0; x < picture.width; ++x)
            PackRgbe(&picture.rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3], &rgbe[x * 4]);
        if (!picture.runLength) {
            out.insert(out.end(), rgbe.begin(), rgbe.end());
            continue;
        }
        out.insert(out.end(), {2, 2, static_cast<std::uint8_t>(picture.width >> 8),
                               static_cast<std::uint8_t>(picture.width & 0xFF)});
        for (int c = 0; c < 4; ++c) {
            Bytes channel;
            for (int x = 0; x < picture.width; ++x) channel.push_back(rgbe[x * 4 + c]);
            AppendRuns(channel, out);
        }
    }
    return out;
}

Bytes DisplayP3Profile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    // The sRGB curve as ICC's parametric curve of type 4.
    const cmsFloat64Number srgb[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

RgbImage LcmsToSrgb(const RgbImage& image, const Bytes& icc) {
    cmsHPROFILE from = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(from, TYPE_BGR_8, to, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    RgbImage out = image;
    cmsDoTransform(transform, image.pixels.data(), out.pixels.data(),
                   static_cast<cmsUInt32Number>(image.width) * static_cast<cmsUInt32Number>(image.height));
    cmsDeleteTransform(transform);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return out;
}

}  // namespace zenivor::test
