#pragma once
// The cubes that conversions replaced, kept so that Undo can put them back: each set in a folder
// of its own under the user's cache folder (never beside the game's files), the newest last, at
// most a number of sets and of bytes. A set is kept whole before its cube is replaced, and put
// back whole, as a conversion writes.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "util/FileSystem.h"

namespace zenivor {

inline constexpr std::size_t kUndoSets = 10;
inline constexpr std::uint64_t kUndoBytes = std::uint64_t{256} << 20;

class UndoStore {
public:
    UndoStore(FileSystem& files, std::filesystem::path cacheFolder, std::size_t sets = kUndoSets,
              std::uint64_t bytes = kUndoBytes);

    // $XDG_CACHE_HOME/zenivor/undo, or ~/.cache/zenivor/undo where that is unset or not absolute.
    static std::filesystem::path DefaultFolder();

    // Keeps what of the six files folder holds now (none, in a folder without a cube), as the
    // newest set; the oldest sets go when there are more, or more bytes, than the bounds allow.
    Result<void> Keep(OutputFolder& folder);
    // The folder the newest kept set came from, if there is one.
    std::optional<std::filesystem::path> NewestFolder() const;
    // Puts the newest set back where it came from, whole (a face it did not have is removed),
    // and forgets it. Returns the folder.
    Result<std::filesystem::path> Undo(const FolderUse& use);

private:
    struct KeptSet {
        std::filesystem::path path;
        std::filesystem::path folder;  // where it came from
    };
    // The whole sets, oldest first; what a killed keep left is removed.
    std::vector<KeptSet> Sets() const;
    void Prune() const;

    FileSystem& files_;
    std::filesystem::path cacheFolder_;
    std::size_t sets_;
    std::uint64_t bytes_;
    mutable std::mutex mutex_;
};

}  // namespace zenivor
