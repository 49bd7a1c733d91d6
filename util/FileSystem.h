#pragma once
// The core's file operations, behind one small interface so tests can make any of them fail.
//
// Files are replaced in sets, whole or not at all. Each new file is first staged: written under
// a temporary name that nobody else can name or plant (an unnamed O_TMPFILE until it is
// complete, where the file system has it), with the permission bits and owner of the file it
// will replace, and flushed to disk. Once every file of the set is staged, the set's intent is
// recorded in a small journal beside it and flushed, the files take their targets' places in one
// burst of renames during which the ending signals wait (util/Interruptions.h), and the folder
// is flushed. After a crash, a power cut or a kill in the middle of a burst, the next opening of
// the folder finishes it from the journal: the set is then the new one, whole. A failure before
// the burst replaces nothing.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "util/Result.h"

namespace zenivor {

using ByteSpan = std::span<const std::uint8_t>;

// How much any reader of a file asks for at once: the most a read holds beyond what it keeps.
inline constexpr std::size_t kReadChunkBytes = 256 * 1024;

namespace errc {
inline constexpr ErrorKind FolderBusy{40, "another conversion into the folder did not finish in time"};
inline constexpr ErrorKind Cancelled{41, "cancelled"};
inline constexpr ErrorKind ReplacedInPart{42, "a rename failed in the middle of a set"};
}  // namespace errc

// An open regular file, read by offset; closed when it goes.
class InputFile {
public:
    InputFile() = default;
    InputFile(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size) {}
    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&& other) noexcept;
    ~InputFile();

    std::uint64_t Size() const { return size_; }
    int Descriptor() const { return descriptor_; }
    // Hands the descriptor over to the caller, who closes it.
    int Release();
    // Reads up to out.size() bytes at offset; fewer only at the end of the file.
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Reads on from offset into the pieces in turn, with as few system calls as it can.
    Result<std::size_t> ReadScatteredAt(std::uint64_t offset, std::span<const std::span<std::uint8_t>> pieces) const;

private:
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
};

// How a folder is to be opened for writing. While it is open, a lock file in it (".zenivor.lock",
// which only those who may write the folder can open) keeps other conversions out; it is removed
// when the folder is closed.
struct FolderUse {
    // The files it will write: their unfinished sets are finished and the temporary files a
    // killed run left of them removed when the folder is opened, and only theirs.
    std::vector<std::string> targets;
    bool lock = true;
    // How long to wait for another conversion's lock before giving up with FolderBusy.
    std::chrono::milliseconds wait = std::chrono::seconds(30);
    // Called once a second while waiting (first after a second), with the time waited so far;
    // returning false gives up at once with Cancelled.
    std::function<bool(std::chrono::milliseconds waited)> waiting = nullptr;
};

// A folder opened for writing; closed (and unlocked) when it goes.
class OutputFolder {
public:
    OutputFolder() = default;
    // lock is the lock file's descriptor (-1 for an unlocked folder), pendingLock what removes its
    // name should the program end on a signal.
    OutputFolder(int descriptor, int lock, std::shared_ptr<void> pendingLock, std::filesystem::path path);
    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    ~OutputFolder();

    int Descriptor() const { return descriptor_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    void Close();

    int descriptor_ = -1;
    int lock_ = -1;                      // the lock file, when the folder is locked
    std::shared_ptr<void> pendingLock_;  // its name, removed too if the program ends on a signal
    std::filesystem::path path_;
};

// A file written and flushed under a temporary name beside its target, waiting to take its
// place. Removed when it goes, unless it took its place.
class StagedFile {
public:
    StagedFile() = default;
    StagedFile(std::string target, std::string temporary, std::function<void()> discard)
        : target_(std::move(target)), temporary_(std::move(temporary)), discard_(std::move(discard)) {}
    StagedFile(StagedFile&& other) noexcept = default;
    StagedFile& operator=(StagedFile&& other) noexcept;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile();

    const std::string& Target() const { return target_; }
    const std::string& TemporaryName() const { return temporary_; }
    // It has taken its place: nothing is left to remove.
    void Placed() { discard_ = nullptr; }

private:
    std::string target_;
    std::string temporary_;
    std::function<void()> discard_;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // A regular file for reading (NotAFile for a folder, a FIFO or a device).
    virtual Result<InputFile> Open(const std::filesystem::path& path) = 0;
    // The same for a file of a folder opened for writing, by its name there.
    virtual Result<InputFile> OpenIn(OutputFolder& folder, const std::string& name) = 0;
    // Whether something exists at path; the error says why not.
    virtual Result<void> CheckExists(const std::filesystem::path& path) = 0;
    // The same for a name in a folder opened for writing.
    virtual Result<void> ExistsIn(OutputFolder& folder, const std::string& name) = 0;
    // Opens a folder for writing as use says: locks it, finishes its unfinished sets, removes
    // what killed runs left.
    virtual Result<OutputFolder> OpenFolder(const std::filesystem::path& path, const FolderUse& use) = 0;
    // Stages the pieces, one after the other, as the new folder/target.
    virtual Result<StagedFile> Stage(OutputFolder& folder, const std::string& target,
                                     std::span<const ByteSpan> pieces) = 0;
    // Stages the whole content of source as the new folder/target.
    virtual Result<StagedFile> StageCopy(const InputFile& source, OutputFolder& folder, const std::string& target) = 0;
    // Puts the staged files in their targets' places, all of them, and flushes the folder.
    virtual Result<void> Replace(OutputFolder& folder, std::span<StagedFile> files) = 0;

    // A folder opened for writing one file, without a lock: its replace is atomic on its own.
    Result<OutputFolder> OpenFolderFor(const std::filesystem::path& path, const std::string& target);
    // Replaces folder/target with the pieces (a set of one file).
    Result<void> Write(OutputFolder& folder, const std::string& target, std::span<const ByteSpan> pieces);
};

// How temporary files come to be: unnamed (O_TMPFILE) where the file system has them, or always
// under an unpredictable name, as on file systems without them (chosen by tests, to cover both).
enum class TemporaryFiles { UnnamedWherePossible, AlwaysNamed };

// The real file system of this machine.
FileSystem& SystemFileSystem(TemporaryFiles temporaries = TemporaryFiles::UnnamedWherePossible);

// The target of one of the program's temporary files (".F0010001.tga.zenivor-3f9a0c1e5b7d2e44.tmp"
// is F0010001.tga's), or empty for any other name.
std::string TemporaryTarget(const std::string& name);
// Whether a name is one of the program's journals of a set, whose first file is target.
bool IsJournalOf(const std::string& name, const std::string& target);
// The name of the lock file of a locked folder.
inline constexpr const char* kLockFileName = ".zenivor.lock";

std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace zenivor
