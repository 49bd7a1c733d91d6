#pragma once
// Helpers shared by the tests: temporary folders, images whose pixels name their own
// coordinates, and TGA files on disk.

#include <cstdint>
#include <ostream>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/Cube.h"
#include "imaging/RgbImage.h"
#include "util/MessageHook.h"
#include "util/Result.h"

namespace zenivor {
// How a failed expectation names a kind of error.
inline void PrintTo(const ErrorKind& kind, std::ostream* out) { *out << kind.number << " (" << kind.text << ")"; }
}  // namespace zenivor

namespace zenivor::test {

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

// Pixel (x, y) encodes x and y, so a pixel read anywhere tells where it came from.
Rgb CoordinateColour(int x, int y);
int CoordinateX(const Rgb& colour);
int CoordinateY(const Rgb& colour);
RgbImage CoordinateImage(int width, int height);

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
// Writes an uncompressed 24-bit bottom-left TGA with the test's own encoder.
void WriteTga(const std::filesystem::path& path, const RgbImage& image);
// Reads a TGA through the library; fails the test when it cannot.
RgbImage ReadTga(const std::filesystem::path& path);
// The names of the cube's files present in folder, in the order of their names.
std::vector<std::string> CubeFilesIn(const std::filesystem::path& folder);
// Every entry in folder, sorted.
std::vector<std::string> EntriesIn(const std::filesystem::path& folder);

}  // namespace zenivor::test
