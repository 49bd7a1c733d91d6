#pragma once
// The core's file operations, behind one small interface so tests can make any of them fail.
//
// Every replaced file goes through a temporary file that nobody else can name or plant (an
// unnamed O_TMPFILE where the file system has it), is flushed to disk before it takes the
// target's place by rename, and the folder is flushed once at the end: after a crash or a power
// cut a face is either the old file or the new one, never a half-written or empty one.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "util/Result.h"

namespace zenivor {

using ByteSpan = std::span<const std::uint8_t>;

// How much any reader of a file asks for at once: the most a read holds beyond what it keeps.
inline constexpr std::size_t kReadChunkBytes = 256 * 1024;

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

// A folder opened for writing, locked against other conversions into it for as long as it is
// open. The lock is an advisory lock on the folder itself, so no lock file is left in it.
class OutputFolder {
public:
    OutputFolder() = default;
    OutputFolder(int descriptor, std::filesystem::path path) : descriptor_(descriptor), path_(std::move(path)) {}
    OutputFolder(OutputFolder&& other) noexcept;
    OutputFolder& operator=(OutputFolder&& other) noexcept;
    ~OutputFolder();

    int Descriptor() const { return descriptor_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    int descriptor_ = -1;
    std::filesystem::path path_;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // A regular file for reading (NotAFile for a folder, a FIFO or a device).
    virtual Result<InputFile> Open(const std::filesystem::path& path) = 0;
    // Whether something exists at path; the error says why not.
    virtual Result<void> CheckExists(const std::filesystem::path& path) = 0;
    // Opens and locks a folder, waiting while another conversion holds it.
    virtual Result<OutputFolder> OpenFolder(const std::filesystem::path& path) = 0;
    // Replaces folder/name with the pieces, one after the other.
    virtual Result<void> Write(OutputFolder& folder, const std::string& name, std::span<const ByteSpan> pieces) = 0;
    // Replaces folder/name with the whole content of source.
    virtual Result<void> Copy(const InputFile& source, OutputFolder& folder, const std::string& name) = 0;
    // Flushes the folder's entries to disk, so the renames survive a power cut.
    virtual Result<void> Sync(OutputFolder& folder) = 0;
};

// How temporary files come to be: unnamed (O_TMPFILE) where the file system has them, or always
// under an unpredictable name, as on file systems without them (chosen by tests, to cover both).
enum class TemporaryFiles { UnnamedWherePossible, AlwaysNamed };

// The real file system of this machine.
FileSystem& SystemFileSystem(TemporaryFiles temporaries = TemporaryFiles::UnnamedWherePossible);

// Names of temporary files a killed run may have left in a folder (only possible where the
// file system cannot make unnamed files, or in the instant between naming one and renaming it).
bool IsTemporaryName(const std::string& name);

std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace zenivor
