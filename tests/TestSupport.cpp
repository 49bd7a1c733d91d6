#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>

#include "imaging/ImageFiles.h"
#include "util/FileSystem.h"

namespace zenivor::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    // CTest runs tests in parallel processes that may start in the same millisecond (one seed) and,
    // under ASan, place objects at the same addresses; the random part keeps their folders apart.
    static const unsigned process = std::random_device{}();
    path_ = std::filesystem::temp_directory_path() /
            ("zenivor-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(process) + "-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" +
             std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Rgb CoordinateColour(int x, int y) {
    return {static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>((x >> 8) | ((y >> 8) << 4)),
            static_cast<std::uint8_t>(y & 0xFF)};
}

int CoordinateX(const Rgb& colour) { return colour[0] | ((colour[1] & 0x0F) << 8); }
int CoordinateY(const Rgb& colour) { return colour[2] | ((colour[1] >> 4) << 8); }

std::array<RgbImage, 6> LinearProjection(const RgbImage& panorama, const PanoramaView& view) {
    const std::array<LinearImage, 6> faces = ProjectLinearPanorama(LinearOf(panorama), view);
    std::array<RgbImage, 6> encoded;
    for (std::size_t i = 0; i < faces.size(); ++i) encoded[i] = SrgbImageOf(faces[i]);
    return encoded;
}

RgbImage Checkerboard(int width, int height) {
    RgbImage image = RgbImage::Unfilled(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto v = static_cast<std::uint8_t>((x + y) % 2 ? 255 : 0);
            image.Set(x, y, {v, v, v});
        }
    return image;
}

std::vector<std::vector<std::uint8_t>> CubeFileBytes(const std::filesystem::path& folder) {
    std::vector<std::vector<std::uint8_t>> files;
    for (const char* name : kCubeFileNames)
        files.push_back(std::filesystem::exists(folder / name) ? ReadBytes(folder / name)
                                                               : std::vector<std::uint8_t>{});
    return files;
}

RgbImage CoordinateImage(int width, int height) {
    RgbImage image = RgbImage::Unfilled(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.Set(x, y, CoordinateColour(x, y));
    return image;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    // In one read of the file's size: the tests compare whole cubes, and reading a byte at a
    // time through a stream iterator is slow under the sanitizers.
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.tellg()));
    file.seekg(0);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

void WriteTga(const std::filesystem::path& path, const RgbImage& image) {
    std::vector<std::uint8_t> bytes = {0,
                                       0,
                                       2,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       0,
                                       static_cast<std::uint8_t>(image.width & 0xFF),
                                       static_cast<std::uint8_t>(image.width >> 8),
                                       static_cast<std::uint8_t>(image.height & 0xFF),
                                       static_cast<std::uint8_t>(image.height >> 8),
                                       24,
                                       0};
    // Bottom row first, each pixel blue, green, red.
    const std::size_t header = bytes.size();
    bytes.resize(header + image.pixels.size());
    std::uint8_t* out = bytes.data() + header;
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x, out += 3) {
            const Rgb c = image.At(x, y);
            out[0] = c[2], out[1] = c[1], out[2] = c[0];
        }
    WriteBytes(path, bytes);
}

RgbImage ReadTga(const std::filesystem::path& path) {
    Result<RgbImage> image = ReadImage(SystemFileSystem(), path, CoreDecoders(), {});
    EXPECT_TRUE(image) << path << ": " << (image ? "" : NumberAndReason(image.Error()));
    return image ? std::move(*image) : RgbImage();
}

std::vector<std::string> CubeFilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const char* name : kCubeFileNames)
        if (std::filesystem::exists(folder / name)) names.emplace_back(name);
    return names;
}

std::vector<std::string> EntriesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zenivor::test
