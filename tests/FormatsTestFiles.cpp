#include "tests/FormatsTestFiles.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <jpeglib.h>
#include <cstdio>  // jpeglib.h needs FILE first

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace zenivor::test {

void ExpectRefused(const Result<RgbImage>& image, ErrorKind code) {
    ASSERT_FALSE(image);
    EXPECT_EQ(image.Error().code, code);
    EXPECT_NE(image.Error().detail, "");
}

namespace {

// Write a PNG.

int PngChannels(int colourType) {
    switch (colourType) {
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
        default: return 1;
    }
}

// One byte a sample below 16 bits (libpng packs them), two big-endian bytes at 16.
std::vector<Bytes> PngRows(const PngPicture& picture) {
    const std::size_t perRow = static_cast<std::size_t>(picture.width) * PngChannels(picture.colourType);
    std::vector<Bytes> rows(static_cast<std::size_t>(picture.height));
    for (std::size_t y = 0; y < rows.size(); ++y)
        for (std::size_t i = 0; i < perRow; ++i) {
            const std::uint16_t sample = picture.samples.at(y * perRow + i);
            if (picture.bitDepth == 16) rows[y].push_back(static_cast<std::uint8_t>(sample >> 8));
            rows[y].push_back(static_cast<std::uint8_t>(sample));
        }
    return rows;
}

void AppendTo(png_structp png, png_bytep data, std::size_t count) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

void NoFlush(png_structp) {}

struct PngExtras {
    std::vector<png_color> palette;
    png_color_16 transparent{};
    png_text text{};
};

void SetPngChunks(png_structp png, png_infop info, const PngPicture& picture, PngExtras& extras) {
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height),
                 picture.bitDepth, picture.colourType, picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!extras.palette.empty())
        png_set_PLTE(png, info, extras.palette.data(), static_cast<int>(extras.palette.size()));
    if (!picture.paletteAlpha.empty())
        png_set_tRNS(png, info, picture.paletteAlpha.data(), static_cast<int>(picture.paletteAlpha.size()), nullptr);
    if (picture.transparentFirstColour) png_set_tRNS(png, info, nullptr, 0, &extras.transparent);
    if (!picture.exif.empty() && !picture.exifAfterPixels)
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(picture.exif.size()),
                       const_cast<png_bytep>(picture.exif.data()));
    if (!picture.text.empty()) png_set_text(png, info, &extras.text, 1);
    if (!picture.icc.empty())
        png_set_iCCP(png, info, "Display P3", PNG_COMPRESSION_TYPE_BASE, picture.icc.data(),
                     static_cast<png_uint_32>(picture.icc.size()));
}

bool WritePng(png_structp png, png_infop info, const PngPicture& picture, PngExtras& extras,
              std::vector<png_bytep>& rows, Bytes& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &out, AppendTo, NoFlush);
    SetPngChunks(png, info, picture, extras);
    png_write_info(png, info);
    if (picture.bitDepth < 8) png_set_packing(png);
    png_write_image(png, rows.data());
    if (picture.exifAfterPixels)
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(picture.exif.size()),
                       const_cast<png_bytep>(picture.exif.data()));
    png_write_end(png, info);
    return true;
}

PngExtras MakeExtras(const PngPicture& picture, std::string& textKey, std::string& textValue) {
    PngExtras extras;
    for (const Rgb& entry : picture.palette) extras.palette.push_back({entry[0], entry[1], entry[2]});
    if (picture.transparentFirstColour) {
        const auto& s = picture.samples;
        extras.transparent = picture.colourType == PNG_COLOR_TYPE_GRAY ? png_color_16{0, 0, 0, 0, s.at(0)}
                                                                       : png_color_16{0, s.at(0), s.at(1), s.at(2), 0};
    }
    extras.text.compression = PNG_TEXT_COMPRESSION_NONE;
    extras.text.key = textKey.data();
    extras.text.text = textValue.data();
    extras.text.text_length = textValue.size();
    return extras;
}

// Write a JPEG.

struct JpegWriter {
    JpegWriter() { cinfo.err = jpeg_std_error(&errors), errors.error_exit = OnError; }
    ~JpegWriter() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    [[noreturn]] static void OnError(j_common_ptr cinfo) {
        (*cinfo->err->output_message)(cinfo);
        std::longjmp(static_cast<JpegWriter*>(cinfo->client_data)->jump, 1);
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    std::jmp_buf jump{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

struct JpegLayout {
    int components;
    J_COLOR_SPACE input;
    J_COLOR_SPACE stored;
};

JpegLayout LayoutOf(JpegKind kind) {
    switch (kind) {
        case JpegKind::Rgb: return {3, JCS_RGB, JCS_RGB};
        case JpegKind::Grey: return {1, JCS_GRAYSCALE, JCS_GRAYSCALE};
        case JpegKind::AdobeCmyk: return {4, JCS_CMYK, JCS_CMYK};
        case JpegKind::AdobeYcck: return {4, JCS_CMYK, JCS_YCCK};
        case JpegKind::PlainCmyk: return {4, JCS_CMYK, JCS_CMYK};
        default: return {3, JCS_RGB, JCS_YCbCr};
    }
}

void SetJpegParameters(jpeg_compress_struct& cinfo, const JpegPicture& picture) {
    const JpegLayout layout = LayoutOf(picture.kind);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = layout.components;
    cinfo.in_color_space = layout.input;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, layout.stored);
    if (picture.kind == JpegKind::PlainCmyk) cinfo.write_Adobe_marker = FALSE;
    jpeg_set_quality(&cinfo, picture.quality, TRUE);
    for (int i = 0; i < cinfo.num_components; ++i)
        cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    if (picture.progressive) jpeg_simple_progression(&cinfo);
}

std::vector<jpeg_scan_info> ScanScript(const std::vector<JpegScan>& scans) {
    std::vector<jpeg_scan_info> script;
    for (const JpegScan& scan : scans) script.push_back({1, {0, 0, 0, 0}, scan.first, scan.last, scan.high, scan.low});
    return script;
}

bool WriteJpeg(JpegWriter& writer, const JpegPicture& picture, const std::vector<jpeg_scan_info>& script) {
    if (setjmp(writer.jump)) return false;
    jpeg_compress_struct& cinfo = writer.cinfo;
    jpeg_create_compress(&cinfo);
    cinfo.client_data = &writer;
    jpeg_mem_dest(&cinfo, &writer.buffer, &writer.size);
    SetJpegParameters(cinfo, picture);
    if (!script.empty()) cinfo.scan_info = script.data(), cinfo.num_scans = static_cast<int>(script.size());
    jpeg_start_compress(&cinfo, TRUE);
    if (!picture.icc.empty())
        jpeg_write_icc_profile(&cinfo, picture.icc.data(), static_cast<unsigned>(picture.icc.size()));
    for (const Bytes& segment : picture.app1)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, segment.data(), static_cast<unsigned>(segment.size()));
    const std::size_t rowBytes = static_cast<std::size_t>(picture.width) * LayoutOf(picture.kind).components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.samples.data() + cinfo.next_scanline * rowBytes);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

void Put16(Bytes& out, bool bigEndian, unsigned value) {
    const auto high = static_cast<std::uint8_t>(value >> 8), low = static_cast<std::uint8_t>(value);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

void Put32(Bytes& out, bool bigEndian, std::uint32_t value) {
    Put16(out, bigEndian, bigEndian ? value >> 16 : value & 0xFFFF);
    Put16(out, bigEndian, bigEndian ? value & 0xFFFF : value >> 16);
}

std::uint32_t Big32(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes.at(at)} << 24 | std::uint32_t{bytes.at(at + 1)} << 16 |
           std::uint32_t{bytes.at(at + 2)} << 8 | bytes.at(at + 3);
}

void SetBig32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

}  // namespace

PngPicture NewPng(int width, int height, int colourType, int bitDepth) {
    PngPicture picture;
    picture.width = width, picture.height = height, picture.colourType = colourType, picture.bitDepth = bitDepth;
    return picture;
}

JpegPicture NewJpeg(int width, int height, JpegKind kind) {
    JpegPicture picture;
    picture.width = width, picture.height = height, picture.kind = kind;
    return picture;
}

Bytes EncodePng(const PngPicture& picture) {
    std::string textKey = "Comment", textValue = picture.text;
    PngExtras extras = MakeExtras(picture, textKey, textValue);
    std::vector<Bytes> rows = PngRows(picture);
    std::vector<png_bytep> pointers;
    for (Bytes& row : rows) pointers.push_back(row.data());
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const bool written = WritePng(png, info, picture, extras, pointers, out);
    png_destroy_write_struct(&png, &info);
    EXPECT_TRUE(written) << "libpng could not write the test image";
    return written ? out : Bytes{};
}

// The image's pixels as red, green, blue samples, the order the encoders are given.
std::vector<std::uint8_t> RgbSamples(const RgbImage& image) {
    std::vector<std::uint8_t> samples;
    samples.reserve(image.pixels.size());
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const Rgb colour = image.At(x, y);
            samples.insert(samples.end(), colour.begin(), colour.end());
        }
    return samples;
}

Bytes EncodeRgbPng(const RgbImage& image, const Bytes& exif) {
    PngPicture picture = NewPng(image.width, image.height, PNG_COLOR_TYPE_RGB);
    const std::vector<std::uint8_t> samples = RgbSamples(image);
    picture.samples.assign(samples.begin(), samples.end());
    picture.exif = exif;
    return EncodePng(picture);
}

Bytes EncodeJpeg(const JpegPicture& picture) {
    JpegWriter writer;
    const std::vector<jpeg_scan_info> script = ScanScript(picture.scans);
    const bool written = WriteJpeg(writer, picture, script);
    EXPECT_TRUE(written) << "libjpeg could not write the test image";
    return written ? Bytes(writer.buffer, writer.buffer + writer.size) : Bytes{};
}

Bytes EncodeRgbJpeg(const RgbImage& image, std::vector<Bytes> app1, bool progressive) {
    JpegPicture picture = NewJpeg(image.width, image.height, JpegKind::YCbCr);
    picture.samples = RgbSamples(image);
    picture.app1 = std::move(app1);
    picture.progressive = progressive;
    return EncodeJpeg(picture);
}

Bytes ExifTiff(bool bigEndian, int orientation) {
    Bytes tiff = bigEndian ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    Put16(tiff, bigEndian, 42);
    Put32(tiff, bigEndian, 8);       // the first directory follows the header
    Put16(tiff, bigEndian, 2);       // two entries
    Put16(tiff, bigEndian, 0x010F);  // the camera's make, 4 ASCII bytes held in the entry
    Put16(tiff, bigEndian, 2);
    Put32(tiff, bigEndian, 4);
    tiff.insert(tiff.end(), {'Z', 'e', 'n', 0});
    Put16(tiff, bigEndian, 0x0112);  // the orientation, one SHORT
    Put16(tiff, bigEndian, 3);
    Put32(tiff, bigEndian, 1);
    Put16(tiff, bigEndian, static_cast<unsigned>(orientation));
    Put16(tiff, bigEndian, 0);
    Put32(tiff, bigEndian, 0);  // no next directory
    return tiff;
}

Bytes ExifApp1(const Bytes& tiff) {
    const std::uint8_t mark[] = {'E', 'x', 'i', 'f', 0, 0};
    Bytes segment(sizeof mark + tiff.size());
    std::copy(tiff.begin(), tiff.end(), std::copy(std::begin(mark), std::end(mark), segment.begin()));
    return segment;
}

std::size_t FindPngChunk(const Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 8 <= png.size(); at += 12 + Big32(png, at))
        if (std::equal(type, type + 4, png.begin() + static_cast<std::ptrdiff_t>(at) + 4)) return at;
    return kNotFound;
}

void FixPngCrc(Bytes& png, std::size_t chunk) {
    const std::uint32_t length = Big32(png, chunk);
    const auto crc = crc32(0, png.data() + chunk + 4, length + 4);
    SetBig32(png, chunk + 8 + length, static_cast<std::uint32_t>(crc));
}

void SetPngSize(Bytes& png, std::uint32_t width, std::uint32_t height) {
    SetBig32(png, 16, width);
    SetBig32(png, 20, height);
    FixPngCrc(png, 8);
}

std::size_t FindJpegMarker(const Bytes& jpeg, std::uint8_t code) {
    for (std::size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
        if (jpeg[at + 1] == code) return at;
        if (jpeg[at + 1] == 0xDA) break;  // entropy-coded data follows
        at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    }
    return kNotFound;
}

void SetJpegSize(Bytes& jpeg, std::uint16_t width, std::uint16_t height) {
    std::size_t frame = FindJpegMarker(jpeg, 0xC0);
    if (frame == kNotFound) frame = FindJpegMarker(jpeg, 0xC2);
    ASSERT_NE(frame, kNotFound);
    jpeg.at(frame + 5) = static_cast<std::uint8_t>(height >> 8), jpeg.at(frame + 6) = static_cast<std::uint8_t>(height);
    jpeg.at(frame + 7) = static_cast<std::uint8_t>(width >> 8), jpeg.at(frame + 8) = static_cast<std::uint8_t>(width);
}

std::size_t ScanDataStart(const Bytes& jpeg) {
    const std::size_t scan = FindJpegMarker(jpeg, 0xDA);
    if (scan == kNotFound) return scan;
    return scan + 2 + (std::size_t{jpeg.at(scan + 2)} << 8 | jpeg.at(scan + 3));
}

RgbImage SlopeImage(int width, int height) {
    RgbImage image = RgbImage::Unfilled(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Set(x, y,
                      {static_cast<std::uint8_t>(20 + x * 200 / std::max(1, width - 1)),
                       static_cast<std::uint8_t>(30 + y * 190 / std::max(1, height - 1)),
                       static_cast<std::uint8_t>(90 + (x + 2 * y) * 100 / std::max(1, width + 2 * height))});
    return image;
}

RgbImage NoiseImage(int width, int height) {
    RgbImage image = RgbImage::Unfilled(width, height);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : image.pixels) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return image;
}

int MaxDifference(const RgbImage& a, const RgbImage& b) {
    if (a.width != b.width || a.height != b.height) return 256;
    int largest = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) largest = std::max(largest, std::abs(a.pixels[i] - b.pixels[i]));
    return largest;
}

Result<std::size_t> CountingSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    requested += out.size();
    furthestEnd = std::max(furthestEnd, offset + out.size());
    return inner_.ReadAt(offset, out);
}

Result<std::size_t> FailingSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset + out.size() > failAt_) return Error{errc::FileRead, EIO};
    return inner_.ReadAt(offset, out);
}

}  // namespace zenivor::test
