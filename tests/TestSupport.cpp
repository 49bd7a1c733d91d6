#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>

#include "imaging/GlobalMemory.h"
#include "imaging/ImgDll.h"
#include "imaging/Tga.h"
#include "util/Files.h"

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

Rgb Image::At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

Rgb CoordinateColour(int x, int y) {
    return {static_cast<std::uint8_t>(x & 0xFF), static_cast<std::uint8_t>((x >> 8) | ((y >> 8) << 4)),
            static_cast<std::uint8_t>(y & 0xFF)};
}

int CoordinateX(const Rgb& colour) { return colour[0] | ((colour[1] & 0x0F) << 8); }
int CoordinateY(const Rgb& colour) { return colour[2] | ((colour[1] >> 4) << 8); }

Image CoordinateImage(int width, int height) {
    Image image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = CoordinateColour(x, y);
            image.rgb.insert(image.rgb.end(), c.begin(), c.end());
        }
    return image;
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

void WriteTga(const std::filesystem::path& path, const Image& image) {
    WriteBytes(path, EncodeTga24(image.rgb.data(), image.width, image.height));
}

Image ReadTga(const std::filesystem::path& path) {
    Image image;
    const HGLOBAL block = ImgDLLReadRGBFromTGA(Utf8FromPath(path), image.width, image.height);
    EXPECT_NE(block, 0u) << path << ": error " << ImgDLLGetLastError();
    if (block == 0) return {};
    const auto* pixels = static_cast<const std::uint8_t*>(GlobalLock(block));
    image.rgb.assign(pixels, pixels + static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    GlobalUnlock(block);
    GlobalFree(block);
    return image;
}

}  // namespace zenivor::test
