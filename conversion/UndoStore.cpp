#include "conversion/UndoStore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "conversion/Cube.h"
#include "conversion/CubeFileSteps.h"

namespace zenivor {
namespace {

namespace fs = std::filesystem;

// Written last into a set's folder: a set without it was cut short and is no set.
constexpr const char* kOriginFile = "origin";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

std::string SetName(unsigned long long number) {
    char name[32];
    std::snprintf(name, sizeof name, "%010llu", number);
    return name;
}

std::uint64_t BytesIn(const fs::path& folder) {
    std::uint64_t bytes = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file(error)) bytes += entry.file_size(error);
    return bytes;
}

std::optional<fs::path> OriginOf(const fs::path& set) {
    std::ifstream in(set / kOriginFile, std::ios::binary);
    if (!in) return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.empty() || text.back() != '\n') return std::nullopt;
    return PathFromUtf8(text.substr(0, text.size() - 1));
}

}  // namespace

UndoStore::UndoStore(FileSystem& files, fs::path cacheFolder, std::size_t sets, std::uint64_t bytes)
    : files_(files), cacheFolder_(std::move(cacheFolder)), sets_(sets), bytes_(bytes) {}

fs::path UndoStore::DefaultFolder() {
    fs::path folder = PathFromUtf8(Environment("XDG_CACHE_HOME"));
    if (folder.empty() || folder.is_relative()) {
        const std::string home = Environment("HOME");
        folder = PathFromUtf8(home.empty() ? "/" : home) / ".cache";
    }
    return folder / "zenivor" / "undo";
}

std::vector<UndoStore::KeptSet> UndoStore::Sets() const {
    std::vector<KeptSet> sets;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(cacheFolder_, error)) {
        if (!entry.is_directory(error)) continue;
        if (const std::optional<fs::path> origin = OriginOf(entry.path()))
            sets.push_back({entry.path(), *origin});
        else
            fs::remove_all(entry.path(), error);
    }
    std::sort(sets.begin(), sets.end(), [](const KeptSet& a, const KeptSet& b) { return a.path < b.path; });
    return sets;
}

void UndoStore::Prune() const {
    std::vector<KeptSet> sets = Sets();
    std::uint64_t bytes = 0;
    for (const KeptSet& set : sets) bytes += BytesIn(set.path);
    std::error_code error;
    for (std::size_t oldest = 0; oldest + 1 < sets.size() && (sets.size() - oldest > sets_ || bytes > bytes_);
         ++oldest) {
        bytes -= std::min(bytes, BytesIn(sets[oldest].path));
        fs::remove_all(sets[oldest].path, error);
    }
}

Result<void> UndoStore::Keep(OutputFolder& folder) {
    const std::lock_guard lock(mutex_);
    std::error_code error;
    fs::create_directories(cacheFolder_, error);
    if (error) return Error{errc::FileCreate, error.value(), Utf8FromPath(cacheFolder_)};
    const std::vector<KeptSet> sets = Sets();
    const unsigned long long number =
        sets.empty() ? 1 : std::strtoull(sets.back().path.filename().c_str(), nullptr, 10) + 1;
    const fs::path set = cacheFolder_ / SetName(number);
    fs::create_directory(set, error);
    if (error) return Error{errc::FileCreate, error.value(), Utf8FromPath(set)};
    std::vector<std::string> targets = CubeFileNames();
    targets.emplace_back(kOriginFile);
    Result<OutputFolder> kept = files_.OpenFolder(set, {.targets = targets, .lock = false});
    if (!kept) return kept.Error();
    std::vector<StagedFile> staged;
    for (const char* name : kCubeFileNames) {
        if (!files_.ExistsIn(folder, name)) continue;
        Result<InputFile> source = files_.OpenIn(folder, name);
        if (!source) return source.Error();
        Result<StagedFile> copy = files_.StageCopy(*source, *kept, name);
        if (!copy) return copy.Error();
        staged.push_back(std::move(*copy));
    }
    if (Result<void> placed = files_.Replace(*kept, staged); !placed) return placed;
    const std::string origin = Utf8FromPath(folder.Path()) + "\n";
    const ByteSpan piece(reinterpret_cast<const std::uint8_t*>(origin.data()), origin.size());
    if (Result<void> written = files_.Write(*kept, kOriginFile, {&piece, 1}); !written) return written;
    Prune();
    return {};
}

std::optional<fs::path> UndoStore::NewestFolder() const {
    const std::lock_guard lock(mutex_);
    const std::vector<KeptSet> sets = Sets();
    if (sets.empty()) return std::nullopt;
    return sets.back().folder;
}

Result<fs::path> UndoStore::Undo(const FolderUse& use) {
    const std::lock_guard lock(mutex_);
    const std::vector<KeptSet> sets = Sets();
    if (sets.empty()) return Error{errc::FileOpen, ENOENT, "nothing to undo"};
    const KeptSet& newest = sets.back();
    FolderUse cube = use;
    cube.targets = CubeFileNames();
    Result<OutputFolder> folder = files_.OpenFolder(newest.folder, cube);
    if (!folder) return folder.Error();
    std::vector<StagedFile> staged;
    std::vector<std::string> absent;
    for (const char* name : kCubeFileNames) {
        Result<InputFile> source = files_.Open(newest.path / name);
        if (!source) {
            absent.emplace_back(name);
            continue;
        }
        Result<StagedFile> copy = files_.StageCopy(*source, *folder, name);
        if (!copy) return copy.Error();
        staged.push_back(std::move(*copy));
    }
    if (Result<void> placed = files_.Replace(*folder, staged); !placed) return placed.Error();
    std::error_code error;
    for (const std::string& name : absent) fs::remove(newest.folder / name, error);
    fs::remove_all(newest.path, error);
    return newest.folder;
}

}  // namespace zenivor
