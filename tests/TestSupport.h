#pragma once
// Helpers shared by the tests: temporary folders, images whose pixels name their own
// coordinates, and TGA files on disk.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/DrawingSurface.h"
#include "util/MessageHook.h"

namespace zenivor::test {

// The six files of a sky cube, in the order of their names.
inline const char* const kCubeFiles[] = {"F0010001.tga", "F0020001.tga", "F0030001.tga",
                                         "F0040001.tga", "F0050001.tga", "F0060001.tga"};

// Records what the utilities would have shown, for as long as it lives.
class RecordedMessages {
public:
    RecordedMessages() : previous_(SetMessageHook([this](const std::string& text) { texts.push_back(text); })) {}
    ~RecordedMessages() { SetMessageHook(previous_); }
    RecordedMessages(const RecordedMessages&) = delete;
    RecordedMessages& operator=(const RecordedMessages&) = delete;
    std::vector<std::string> texts;

private:
    MessageHook previous_;
};

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
