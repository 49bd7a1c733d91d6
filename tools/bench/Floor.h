#pragma once
// The least any conversion must do: read the strip, write six 504 x 504 files and read four
// of them back. The converter is measured against this.

#include <filesystem>
#include <string>

#include "conversion/SkyTables.h"
#include "imaging/GlobalMemory.h"
#include "imaging/ImgDll.h"
#include "util/Files.h"

namespace zenivor::bench {

inline bool ReadAndFree(const std::string& path, int width, int height) {
    const HGLOBAL block = ImgDLLReadRGBFromTGA(path, width, height);
    if (block == 0) return false;
    GlobalFree(block);
    return true;
}

inline bool RunFloor(const std::string& strip, const std::filesystem::path& folder) {
    if (!ReadAndFree(strip, 0, 0)) return false;
    const HGLOBAL face = GlobalAlloc(static_cast<std::size_t>(kFaceSize) * kFaceSize * 3);
    void* pixels = GlobalLock(face);
    std::fill_n(static_cast<std::uint8_t*>(pixels), static_cast<std::size_t>(kFaceSize) * kFaceSize * 3, 128);
    bool ok = true;
    const char* names[] = {"F0010001.tga", "F0020001.tga", "F0030001.tga", "F0040001.tga", kSkyCapFile, kGroundFile};
    for (const char* name : names)
        ok = ImgDLLSaveRGBToTGA(Utf8FromPath(folder / name), pixels, kFaceSize, kFaceSize) != 0 && ok;
    GlobalUnlock(face);
    GlobalFree(face);
    for (int i = 0; i < 4; ++i) ok = ReadAndFree(Utf8FromPath(folder / names[i]), kFaceSize, kFaceSize) && ok;
    return ok;
}

}  // namespace zenivor::bench
