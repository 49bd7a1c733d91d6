// Writes synthetic equirectangular panoramas of more than 8 bits for the benchmarks, through each
// format's own library, a row at a time: a sky of radiance from 0.05 to 40 with fine detail, as
// OpenEXR (half, ZIP), 16-bit TIFF (Deflate) and 16-bit PNG.
// Usage: make_wide_panoramas exr|tiff|png OUT WIDTH (the height is half the width).
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Radiance at (x, y): a bright band near the horizon, a sun, and fine ripples.
void Radiance(int x, int y, int width, int height, float* rgb) {
    const double latitude = 0.5 - (y + 0.5) / height;
    const double sky = 0.05 + 3.0 * std::exp(-std::abs(latitude) * 8) + 0.3 * std::sin(x * 0.37) * std::sin(y * 0.29);
    const double dx = x - width * 0.6, dy = y - height * 0.3;
    const double sun = dx * dx + dy * dy < width * width / 4000.0 ? 40.0 : 0.0;
    rgb[0] = static_cast<float>(std::max(0.0, sky * 0.8 + sun));
    rgb[1] = static_cast<float>(std::max(0.0, sky * 0.9 + sun));
    rgb[2] = static_cast<float>(std::max(0.0, sky * 1.1 + sun));
}

std::uint16_t Sixteen(float linear) {
    const double v = std::min(1.0, linear / 4.0);
    const double encoded = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
    return static_cast<std::uint16_t>(std::lround(encoded * 65535));
}

int WriteExr(const char* path, int width, int height) {
    Imf::Header header(width, height);
    header.compression() = Imf::ZIP_COMPRESSION;
    for (const char* name : {"R", "G", "B"}) header.channels().insert(name, Imf::Channel(Imf::HALF));
    Imf::OutputFile file(path, header);
    std::vector<Imath::half> planes(static_cast<std::size_t>(width) * 3 * 16);
    for (int y = 0; y < height; y += 16) {
        const int rows = std::min(16, height - y);
        for (int r = 0; r < rows; ++r)
            for (int x = 0; x < width; ++x) {
                float rgb[3];
                Radiance(x, y + r, width, height, rgb);
                for (int c = 0; c < 3; ++c) planes[(static_cast<std::size_t>(r) * width + x) * 3 + c] = rgb[c];
            }
        Imf::FrameBuffer frame;
        const std::size_t pixel = 3 * sizeof(Imath::half), row = pixel * width;
        char* base = reinterpret_cast<char*>(planes.data()) - static_cast<std::ptrdiff_t>(y * row);
        for (int c = 0; c < 3; ++c)
            frame.insert(c == 0   ? "R"
                         : c == 1 ? "G"
                                  : "B",
                         Imf::Slice(Imf::HALF, base + c * sizeof(Imath::half), pixel, row));
        file.setFrameBuffer(frame);
        file.writePixels(rows);
    }
    return 0;
}

std::vector<std::uint16_t> Row16(int y, int width, int height) {
    std::vector<std::uint16_t> row(static_cast<std::size_t>(width) * 3);
    for (int x = 0; x < width; ++x) {
        float rgb[3];
        Radiance(x, y, width, height, rgb);
        for (int c = 0; c < 3; ++c) row[static_cast<std::size_t>(x) * 3 + c] = Sixteen(rgb[c]);
    }
    return row;
}

int WriteTiff(const char* path, int width, int height) {
    TIFF* tiff = TIFFOpen(path, "w");
    if (tiff == nullptr) return 1;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 16);
    for (int y = 0; y < height; ++y) {
        std::vector<std::uint16_t> row = Row16(y, width, height);
        if (TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0) != 1) return 1;
    }
    TIFFClose(tiff);
    return 0;
}

int WritePng(const char* path, int width, int height) {
    FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return 1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, width, height, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    png_set_swap(png);  // rows are in the machine's order, PNG's big-endian
    for (int y = 0; y < height; ++y) {
        std::vector<std::uint16_t> row = Row16(y, width, height);
        png_write_row(png, reinterpret_cast<png_bytep>(row.data()));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_wide_panoramas exr|tiff|png OUT WIDTH\n");
        return 2;
    }
    const std::string kind = argv[1];
    const int width = static_cast<int>(std::strtol(argv[3], nullptr, 10)), height = width / 2;
    if (kind == "exr") return WriteExr(argv[2], width, height);
    if (kind == "tiff") return WriteTiff(argv[2], width, height);
    if (kind == "png") return WritePng(argv[2], width, height);
    return 2;
}
