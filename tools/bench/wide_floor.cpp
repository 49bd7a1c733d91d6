// The floor of a wide panorama's conversion: decode the file with its own library (OpenEXR's
// C++ library, whole, into half RGBA; libtiff, a scanline at a time into one buffer), then write
// six 504 x 504 TGA files as durably as the converter does -- no projection at all.
// Usage: wide_floor exr|tiff IN FOLDER
#include <ImfRgbaFile.h>
#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

unsigned char face[504 * 504 * 3 + 18];

int WriteFaces(const char* folder) {
    face[2] = 2, face[12] = 504 & 255, face[13] = 504 >> 8, face[14] = 504 & 255, face[15] = 504 >> 8, face[16] = 24;
    char path[4096], temporary[4200];
    for (int i = 1; i <= 6; i++) {
        std::snprintf(path, sizeof path, "%s/F00%d0001.tga", folder, i);
        std::snprintf(temporary, sizeof temporary, "%s.tmp", path);
        const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || write(fd, face, sizeof face) != static_cast<ssize_t>(sizeof face) || fsync(fd) != 0) return 1;
        close(fd);
        rename(temporary, path);
    }
    const int fd = open(folder, O_RDONLY);
    fsync(fd);
    close(fd);
    return 0;
}

int DecodeExr(const char* path) {
    Imf::RgbaInputFile file(path);
    const Imath::Box2i window = file.dataWindow();
    const int width = window.max.x - window.min.x + 1, height = window.max.y - window.min.y + 1;
    std::vector<Imf::Rgba> pixels(static_cast<std::size_t>(width) * height);
    file.setFrameBuffer(pixels.data() - window.min.x - static_cast<std::ptrdiff_t>(window.min.y) * width, 1, width);
    file.readPixels(window.min.y, window.max.y);
    for (int i = 0; i < 504 * 504 * 3; ++i) face[18 + i] = static_cast<unsigned char>(float(pixels[i / 3].g) * 60);
    return 0;
}

int DecodeTiff(const char* path) {
    TIFF* tiff = TIFFOpen(path, "r");
    if (tiff == nullptr) return 1;
    std::uint32_t height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    std::vector<unsigned char> pixels(static_cast<std::size_t>(TIFFScanlineSize(tiff)) * height);
    for (std::uint32_t y = 0; y < height; ++y)
        if (TIFFReadScanline(tiff, pixels.data() + static_cast<std::size_t>(y) * TIFFScanlineSize(tiff), y, 0) != 1)
            return 1;
    TIFFClose(tiff);
    std::memcpy(face + 18, pixels.data(), 504 * 504 * 3);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::string kind = argv[1];
    const int decoded = kind == "exr" ? DecodeExr(argv[2]) : DecodeTiff(argv[2]);
    return decoded != 0 ? decoded : WriteFaces(argv[3]);
}
