#pragma once
// The least any conversion must do, with no codec at all: read the strip, write six 504 x 504
// files of the game's size, read four of them back. Durable, each file goes through a temporary
// name, is flushed and renamed, and the folder is flushed at the end, as the converter does.
// The in-process counterpart of the C programs in the benchmark script.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "conversion/Cube.h"

namespace zenivor::bench {

inline bool ReadWhole(const std::string& path, std::vector<char>& buffer) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
    std::fclose(file);
    return got > 0;
}

inline bool WriteFace(const std::string& path, const std::vector<char>& face, bool durable) {
    const std::string temporary = durable ? path + ".tmp" : path;
    const int descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) return false;
    bool ok = ::write(descriptor, face.data(), face.size()) == static_cast<ssize_t>(face.size());
    if (durable) ok = ::fsync(descriptor) == 0 && ok;
    ok = ::close(descriptor) == 0 && ok;
    return ok && (!durable || std::rename(temporary.c_str(), path.c_str()) == 0);
}

inline bool RunFloor(const std::string& strip, const std::filesystem::path& folder, bool durable) {
    std::vector<char> buffer(static_cast<std::size_t>(4 * kFaceSize) * kFaceSize * 3 + 64);
    std::vector<char> face(static_cast<std::size_t>(kFaceSize) * kFaceSize * 3 + 18, 0);
    bool ok = ReadWhole(strip, buffer);
    for (std::size_t i = 0; i < kCubeFileNames.size(); ++i) {
        const std::string path = (folder / kCubeFileNames[i]).string();
        ok = WriteFace(path, face, durable) && ok;
        if (i < 4) ok = ReadWhole(path, face) && ok;
    }
    if (durable) {
        const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = descriptor >= 0 && ::fsync(descriptor) == 0 && ok;
        if (descriptor >= 0) ::close(descriptor);
    }
    return ok;
}

}  // namespace zenivor::bench
