#pragma once
// Helpers shared by the tests: temporary folders, images whose pixels name their own
// coordinates, and TGA files on disk.

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "conversion/Cube.h"
#include "conversion/Equirect.h"
#include "imaging/RgbImage.h"
#include "legacy/Reporter.h"
#include "util/Result.h"
#include "util/SettingsStore.h"

namespace zenivor {
// How a failed expectation names a kind of error.
inline void PrintTo(const ErrorKind& kind, std::ostream* out) { *out << kind.number << " (" << kind.text << ")"; }
}  // namespace zenivor

namespace zenivor::test {

// Records what the utilities would have shown.
class RecordedMessages final : public MessageReporter {
public:
    void Report(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

// The settings store in memory; it can be made to refuse every write.
class MemorySettings final : public SettingsStore {
public:
    using Key = std::tuple<std::string, std::string, std::string>;
    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& defaultValue) override {
        const auto found = values.find({app, section, key});
        return found == values.end() ? defaultValue : found->second;
    }
    Result<void> SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& value) override {
        ++writes;
        if (unwritable) return Error{errc::FileWrite, EACCES};
        values[{app, section, key}] = value;
        return {};
    }
    // The value stored under the program's own section.
    std::string Value(const std::string& key) const {
        const auto found = values.find({kAppName, kProgramTitle, key});
        return found == values.end() ? std::string() : found->second;
    }
    std::map<Key, std::string> values;
    bool unwritable = false;
    int writes = 0;
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
// Black and white pixels in turn, the finest detail an image holds.
RgbImage Checkerboard(int width, int height);
// The six files of the cube in folder, as bytes (empty for a file that is not there).
std::vector<std::vector<std::uint8_t>> CubeFileBytes(const std::filesystem::path& folder);
// The six faces a conversion writes of an 8-bit panorama by default: projected in linear light.
std::array<RgbImage, 6> LinearProjection(const RgbImage& panorama, const PanoramaView& view = {});

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
