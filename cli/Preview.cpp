#include "cli/Preview.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "conversion/Cube.h"
#include "imaging/ImageFiles.h"

namespace zenivor {
namespace {

struct PreviewCell {
    int column;
    int row;
};

constexpr int kColumns = 4;
constexpr int kRows = 3;

// By Face: North, West, South, East, sky cap, ground.
constexpr std::array<PreviewCell, 6> kCells{{{1, 1}, {0, 1}, {3, 1}, {2, 1}, {1, 0}, {1, 2}}};

// RGBA, transparent where no face lies.
using Canvas = std::vector<std::uint8_t>;

void PlaceFace(Canvas& canvas, const RgbImage& face, PreviewCell cell) {
    const std::size_t canvasWidth = kColumns * kFaceSize;
    // The ground template may have any size; show what fits in its cell.
    for (int y = 0; y < std::min(face.height, kFaceSize); ++y)
        for (int x = 0; x < std::min(face.width, kFaceSize); ++x) {
            const std::size_t to = (static_cast<std::size_t>(cell.row * kFaceSize + y) * canvasWidth +
                                    static_cast<std::size_t>(cell.column * kFaceSize + x)) *
                                   4;
            const Rgb colour = face.At(x, y);
            std::copy(colour.begin(), colour.end(), canvas.begin() + static_cast<std::ptrdiff_t>(to));
            canvas[to + 3] = 255;
        }
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
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(canvas.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4);
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

bool WriteBytes(FileSystem& files, const std::filesystem::path& target, const std::vector<std::uint8_t>& bytes,
                std::string& error) {
    Result<OutputFolder> folder = files.OpenFolder(target.parent_path());
    const ByteSpan whole(bytes.data(), bytes.size());
    Result<void> written =
        folder ? files.Write(*folder, Utf8FromPath(target.filename()), {&whole, 1}) : Result<void>(folder.Error());
    if (written && folder) written = files.Sync(*folder);
    if (written) return true;
    error = "cannot write " + Utf8FromPath(target) + ": " + Reason(written.Error());
    return false;
}

}  // namespace

bool WriteCubePreview(FileSystem& files, const std::filesystem::path& folder, const std::filesystem::path& target,
                      std::string& error) {
    const int width = kColumns * kFaceSize;
    const int height = kRows * kFaceSize;
    Canvas canvas(static_cast<std::size_t>(width) * height * 4, 0);
    for (const Face face : kAllFaces) {
        const auto path = folder / FileNameOf(face);
        Result<RgbImage> image = ReadImage(files, path, CoreDecoders(), {});
        if (!image) {
            error = "cannot read " + Utf8FromPath(path) + " for the preview: " + NumberAndReason(image.Error());
            return false;
        }
        PlaceFace(canvas, *image, kCells[static_cast<std::size_t>(face)]);
    }
    std::vector<std::uint8_t> png;
    if (!EncodePng(canvas, width, height, png)) {
        error = "cannot encode the preview";
        return false;
    }
    return WriteBytes(files, target, png, error);
}

}  // namespace zenivor
