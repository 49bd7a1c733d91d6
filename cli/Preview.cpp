#include "cli/Preview.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "conversion/Cube.h"
#include "formats/PngEncoder.h"
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

Result<void> WriteBytes(FileSystem& files, const std::filesystem::path& target,
                        const std::vector<std::uint8_t>& bytes) {
    Result<OutputFolder> folder = files.OpenFolderFor(target.parent_path(), Utf8FromPath(target.filename()));
    const ByteSpan whole(bytes.data(), bytes.size());
    const Result<void> written =
        folder ? files.Write(*folder, Utf8FromPath(target.filename()), {&whole, 1}) : Result<void>(folder.Error());
    if (written) return {};
    return Error{written.Error().code, written.Error().systemError,
                 "cannot write " + Utf8FromPath(target) + ": " + Reason(written.Error())};
}

}  // namespace

Result<void> WriteCubePreview(FileSystem& files, const std::filesystem::path& folder,
                              const std::filesystem::path& target) {
    const int width = kColumns * kFaceSize;
    const int height = kRows * kFaceSize;
    Canvas canvas(static_cast<std::size_t>(width) * height * 4, 0);
    for (const Face face : kAllFaces) {
        const auto path = folder / FileNameOf(face);
        Result<RgbImage> image = ReadImage(files, path, CoreDecoders(), {});
        if (!image)
            return Error{image.Error().code, image.Error().systemError,
                         "cannot read " + Utf8FromPath(path) + " for the preview: " + NumberAndReason(image.Error())};
        PlaceFace(canvas, *image, kCells[static_cast<std::size_t>(face)]);
    }
    const Result<std::vector<std::uint8_t>> png = formats::EncodePngRgba(canvas, width, height);
    if (!png) return Error{png.Error().code, 0, "cannot encode the preview: " + Reason(png.Error())};
    return WriteBytes(files, target, *png);
}

}  // namespace zenivor
