#include "cli/Preview.h"

#include <png.h>

#include <cstring>
#include <vector>

#include "conversion/SkyTables.h"
#include "imaging/GlobalMemory.h"
#include "imaging/ImgDll.h"
#include "util/Files.h"

namespace zenivor {
namespace {

constexpr int kColumns = 4;
constexpr int kRows = 3;

struct Cell {
    const char* fileName;
    int column;
    int row;
};

constexpr Cell kCells[] = {
    {"F0050001.tga", 1, 0}, {"F0020001.tga", 0, 1}, {"F0010001.tga", 1, 1},
    {"F0040001.tga", 2, 1}, {"F0030001.tga", 3, 1}, {"F0060001.tga", 1, 2},
};

// RGBA, transparent where no face lies.
using Canvas = std::vector<std::uint8_t>;

bool PlaceFace(Canvas& canvas, const std::filesystem::path& file, const Cell& cell) {
    int width = 0;
    int height = 0;
    const HGLOBAL block = ImgDLLReadRGBFromTGA(Utf8FromPath(file), width, height);
    if (block == 0) return false;
    const auto* pixels = static_cast<const std::uint8_t*>(GlobalLock(block));
    const int canvasWidth = kColumns * kFaceSize;
    // The ground template may have any size; show what fits in its cell.
    for (int y = 0; y < std::min(height, kFaceSize); ++y)
        for (int x = 0; x < std::min(width, kFaceSize); ++x) {
            const std::size_t to = (static_cast<std::size_t>(cell.row * kFaceSize + y) * canvasWidth +
                                    static_cast<std::size_t>(cell.column * kFaceSize + x)) * 4;
            std::memcpy(&canvas[to], pixels + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3, 3);
            canvas[to + 3] = 255;
        }
    GlobalUnlock(block);
    GlobalFree(block);
    return true;
}

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

bool EncodePng(const Canvas& canvas, int width, int height, std::vector<std::uint8_t>& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(canvas.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4);
    if (setjmp(png_jmpbuf(png))) {  // libpng reports its errors by longjmp
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, AppendBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WriteCubePreview(const std::filesystem::path& folder, const std::filesystem::path& target, std::string& error) {
    const int width = kColumns * kFaceSize;
    const int height = kRows * kFaceSize;
    Canvas canvas(static_cast<std::size_t>(width) * height * 4, 0);
    for (const Cell& cell : kCells) {
        if (PlaceFace(canvas, folder / cell.fileName, cell)) continue;
        error = "cannot read " + Utf8FromPath(folder / cell.fileName) + " for the preview (error " +
                std::to_string(ImgDLLGetLastError()) + ")";
        return false;
    }
    std::vector<std::uint8_t> png;
    if (!EncodePng(canvas, width, height, png)) {
        error = "cannot encode the preview";
        return false;
    }
    if (const auto written = WriteFileReplacing(target, png)) {
        error = "cannot write " + Utf8FromPath(target) + ": " + written.message();
        return false;
    }
    return true;
}

}  // namespace zenivor
