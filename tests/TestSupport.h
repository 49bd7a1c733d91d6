#pragma once
// Helpers shared by the tests: temporary folders, images whose pixels name their own
// coordinates, and TGA files on disk.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/DrawingSurface.h"

namespace zenivor::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // top row first

    Rgb At(int x, int y) const;
    bool operator==(const Image&) const = default;
};

// Pixel (x, y) encodes x and y, so a pixel read anywhere tells where it came from.
Rgb CoordinateColour(int x, int y);
int CoordinateX(const Rgb& colour);
int CoordinateY(const Rgb& colour);
Image CoordinateImage(int width, int height);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
// Writes an uncompressed 24-bit TGA through the library's own encoder.
void WriteTga(const std::filesystem::path& path, const Image& image);
// Reads a TGA through the library; fails the test when it cannot.
Image ReadTga(const std::filesystem::path& path);

}  // namespace zenivor::test
