// The file system of this machine, through POSIX calls: the one place the core talks to the
// system about files.
#include "util/FileSystem.h"

#include "util/SystemCalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <utility>
#include <vector>

namespace zenivor {
namespace {

// What one call asks the kernel to copy: more than any ground template.
constexpr std::size_t kKernelCopyChunk = 16 * 1024 * 1024;
constexpr const char* kTemporaryTag = ".zenivor-";
constexpr const char* kTemporarySuffix = ".tmp";

Error SystemError(ErrorKind code, int number = errno) { return Error{code, number}; }

// Retries a call that a signal interrupted.
template <typename Call>
auto Retrying(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

void CloseQuietly(int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

// ".F0010001.tga.zenivor-3f9a0c1e5b7d2e44.tmp": hidden, unpredictable, and ours by its shape.
// A device of its own for every thread, so that conversions on several threads draw names at once
// without sharing any generator's state; made once, as setting one up costs more than a write.
std::string TemporaryName(const std::string& target) {
    thread_local std::random_device random;
    const std::uint64_t value = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return "." + target + kTemporaryTag + hex + kTemporarySuffix;
}

// Writes every byte or fails; a write the system takes only in part means the disk is full
// (or a file-size limit is reached, which a user meets the same way).
Result<void> WriteAll(int descriptor, std::span<const ByteSpan> pieces) {
    std::vector<iovec> vectors;
    for (const ByteSpan piece : pieces)
        if (!piece.empty()) vectors.push_back({const_cast<std::uint8_t*>(piece.data()), piece.size()});
    std::size_t first = 0;
    while (first < vectors.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(vectors.size() - first, IOV_MAX));
        std::size_t asked = 0;
        for (int i = 0; i < count; ++i) asked += vectors[first + static_cast<std::size_t>(i)].iov_len;
        const ssize_t written = Retrying([&] { return ::writev(descriptor, &vectors[first], count); });
        if (written < 0) return SystemError(errc::FileWrite);
        if (static_cast<std::size_t>(written) != asked) return SystemError(errc::FileWrite, ENOSPC);
        first += static_cast<std::size_t>(count);
    }
    return {};
}

// A new file in a folder that becomes folder/name only when committed, and vanishes otherwise.
class TemporaryFile {
public:
    TemporaryFile(SystemCalls& calls, int folder, std::string target, TemporaryFiles kind)
        : calls_(calls), folder_(folder), target_(std::move(target)), kind_(kind) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        CloseQuietly(descriptor_);
        if (!name_.empty()) calls_.UnlinkAt(folder_, name_.c_str(), 0);
    }

    Result<void> Create() {
        if (kind_ == TemporaryFiles::AlwaysNamed) return CreateNamed();
        // An unnamed file cannot be an existing file or a link, and leaves nothing if we die.
        descriptor_ = Retrying([&] { return calls_.OpenAt(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); });
        if (descriptor_ >= 0) return {};
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return SystemError(errc::FileCreate);
        return CreateNamed();
    }

    int Descriptor() const { return descriptor_; }

    // Flushes the data to disk, then puts the file in the target's place.
    Result<void> Commit() {
        if (Retrying([&] { return calls_.Fsync(descriptor_); }) != 0) return SystemError(errc::FileWrite);
        if (name_.empty()) {
            if (auto linked = LinkUnnamed(); !linked) return linked;
        }
        if (calls_.RenameAt(folder_, name_.c_str(), folder_, target_.c_str()) != 0)
            return SystemError(errc::FileCreate);
        name_.clear();
        const int descriptor = std::exchange(descriptor_, -1);
        if (::close(descriptor) != 0 && errno != EINTR) return SystemError(errc::FileWrite);
        return {};
    }

private:
    // Where unnamed files are not to be had: an unpredictable name that must not exist yet,
    // and is never followed if someone makes it a link in the meantime.
    Result<void> CreateNamed() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TemporaryName(target_);
            descriptor_ = Retrying([&] {
                return calls_.OpenAt(folder_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            });
            if (descriptor_ >= 0) {
                name_ = std::move(name);
                return {};
            }
            if (errno != EEXIST) return SystemError(errc::FileCreate);
        }
        return SystemError(errc::FileCreate, EEXIST);
    }

    // Gives the unnamed file a fresh name beside the target, for the rename.
    Result<void> LinkUnnamed() {
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor_);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TemporaryName(target_);
            if (calls_.LinkAt(AT_FDCWD, self.c_str(), folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
                name_ = std::move(name);
                return {};
            }
            if (errno != EEXIST) return SystemError(errc::FileCreate);
        }
        return SystemError(errc::FileCreate, EEXIST);
    }

    SystemCalls& calls_;
    int folder_;
    std::string target_;
    TemporaryFiles kind_;
    int descriptor_ = -1;
    std::string name_;  // the temporary file's name while it has one
};

// Removes what a killed run may have left; only called while the folder is locked, so no
// other conversion's temporary file can be among them.
void RemoveLeftTemporaryFiles(SystemCalls& calls, int folder) {
    const int listing = ::dup(folder);
    DIR* directory = listing < 0 ? nullptr : ::fdopendir(listing);
    if (directory == nullptr) {
        CloseQuietly(listing);
        return;
    }
    std::vector<std::string> left;
    while (const dirent* entry = ::readdir(directory))
        if (IsTemporaryName(entry->d_name)) left.emplace_back(entry->d_name);
    ::closedir(directory);
    for (const std::string& name : left) calls.UnlinkAt(folder, name.c_str(), 0);
}

// The copy done by the kernel, page cache to page cache, without passing through this process.
// False where the kernel or the file systems cannot, before anything is written. A file-size
// limit reached part-way is the same to a user as a full disk, as for any write.
Result<bool> CopyInKernel(const InputFile& source, int target) {
#ifdef __linux__
    loff_t offset = 0;
    for (;;) {
        const ssize_t got = Retrying(
            [&] { return ::copy_file_range(source.Descriptor(), &offset, target, nullptr, kKernelCopyChunk, 0); });
        if (got == 0) return true;
        if (got > 0) continue;
        const bool unsupported = errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP;
        if (offset == 0 && unsupported) return false;
        return SystemError(errc::FileWrite, errno == EFBIG ? ENOSPC : errno);
    }
#else
    (void)source, (void)target;
    return false;
#endif
}

Result<void> CopyThroughMemory(const InputFile& source, int target) {
    // Not zero-filled: every byte written is read first.
    const auto chunk = std::make_unique_for_overwrite<std::uint8_t[]>(kReadChunkBytes);
    for (std::uint64_t offset = 0;;) {
        const Result<std::size_t> got = source.ReadAt(offset, {chunk.get(), kReadChunkBytes});
        if (!got) return got.Error();
        if (*got == 0) return {};
        const ByteSpan piece(chunk.get(), *got);
        if (auto written = WriteAll(target, {&piece, 1}); !written) return written;
        offset += *got;
    }
}

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(TemporaryFiles temporaries, SystemCalls& calls) : temporaries_(temporaries), calls_(calls) {}

    Result<InputFile> Open(const std::filesystem::path& path) override {
        // Non-blocking, so that opening a FIFO does not wait for a writer.
        const int descriptor =
            Retrying([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); });
        if (descriptor < 0) return SystemError(errc::FileOpen);
        InputFile guard(descriptor, 0);  // closes it on the early returns
        struct stat status {};
        if (::fstat(descriptor, &status) != 0) return SystemError(errc::FileRead);
        if (S_ISDIR(status.st_mode)) return SystemError(errc::NotAFile, EISDIR);
        if (!S_ISREG(status.st_mode)) return Error{errc::NotAFile, 0, KindOf(status.st_mode)};
        if (::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)
            return SystemError(errc::FileRead);
        return InputFile(guard.Release(), static_cast<std::uint64_t>(status.st_size));
    }

    Result<void> CheckExists(const std::filesystem::path& path) override {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) return SystemError(errc::FileOpen);
        return {};
    }

    Result<OutputFolder> OpenFolder(const std::filesystem::path& path) override {
        const std::filesystem::path shown = path.empty() ? std::filesystem::path(".") : path;
        const int descriptor = Retrying([&] { return ::open(shown.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (descriptor < 0) return SystemError(errc::FileCreate);
        OutputFolder folder(descriptor, path);
        if (Retrying([&] { return ::flock(descriptor, LOCK_EX); }) != 0) return SystemError(errc::FileCreate);
        RemoveLeftTemporaryFiles(calls_, descriptor);
        return folder;
    }

    Result<void> Write(OutputFolder& folder, const std::string& name, std::span<const ByteSpan> pieces) override {
        TemporaryFile file(calls_, folder.Descriptor(), name, temporaries_);
        if (auto created = file.Create(); !created) return created;
        if (auto written = WriteAll(file.Descriptor(), pieces); !written) return written;
        return file.Commit();
    }

    Result<void> Copy(const InputFile& source, OutputFolder& folder, const std::string& name) override {
        TemporaryFile file(calls_, folder.Descriptor(), name, temporaries_);
        if (auto created = file.Create(); !created) return created;
        const Result<bool> copied = CopyInKernel(source, file.Descriptor());
        if (!copied) return copied.Error();
        if (!*copied) {
            if (auto written = CopyThroughMemory(source, file.Descriptor()); !written) return written;
        }
        return file.Commit();
    }

    Result<void> Sync(OutputFolder& folder) override {
        if (Retrying([&] { return calls_.Fsync(folder.Descriptor()); }) != 0) return SystemError(errc::FileWrite);
        return {};
    }

private:
    TemporaryFiles temporaries_;
    SystemCalls& calls_;

    static std::string KindOf(mode_t mode) {
        if (S_ISFIFO(mode)) return "a FIFO";
        if (S_ISSOCK(mode)) return "a socket";
        if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
        return "not a plain file";
    }
};

}  // namespace

InputFile::InputFile(InputFile&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), size_(other.size_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        CloseQuietly(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        size_ = other.size_;
    }
    return *this;
}

InputFile::~InputFile() { CloseQuietly(descriptor_); }

int InputFile::Release() { return std::exchange(descriptor_, -1); }

Result<std::size_t> InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const {
    return ReadScatteredAt(offset, {&out, 1});
}

Result<std::size_t> InputFile::ReadScatteredAt(std::uint64_t offset,
                                               std::span<const std::span<std::uint8_t>> pieces) const {
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (const std::span<std::uint8_t> piece : pieces)
        if (!piece.empty()) vectors.push_back({piece.data(), piece.size()});
    std::size_t done = 0;
    for (std::size_t first = 0; first < vectors.size();) {
        const int count = static_cast<int>(std::min<std::size_t>(vectors.size() - first, IOV_MAX));
        const ssize_t got =
            Retrying([&] { return ::preadv(descriptor_, &vectors[first], count, static_cast<off_t>(offset + done)); });
        if (got < 0) return SystemError(errc::FileRead);
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
        // Past the pieces filled whole, and into the one filled in part.
        for (auto left = static_cast<std::size_t>(got); left > 0;) {
            iovec& vector = vectors[first];
            const std::size_t taken = std::min(left, vector.iov_len);
            vector.iov_base = static_cast<std::uint8_t*>(vector.iov_base) + taken;
            vector.iov_len -= taken;
            left -= taken;
            if (vector.iov_len == 0) ++first;
        }
    }
    return done;
}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)) {}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
    if (this != &other) {
        CloseQuietly(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

// Closing the folder's descriptor releases its lock.
OutputFolder::~OutputFolder() { CloseQuietly(descriptor_); }

FileSystem& SystemFileSystem(TemporaryFiles temporaries) {
    static PosixFileSystem unnamed(TemporaryFiles::UnnamedWherePossible, RealSystemCalls());
    static PosixFileSystem named(TemporaryFiles::AlwaysNamed, RealSystemCalls());
    return temporaries == TemporaryFiles::AlwaysNamed ? named : unnamed;
}

int SystemCalls::OpenAt(int folder, const char* name, int flags, mode_t mode) {
    return ::openat(folder, name, flags, mode);
}
int SystemCalls::LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
    return ::linkat(fromFolder, from, toFolder, to, flags);
}
int SystemCalls::RenameAt(int fromFolder, const char* from, int toFolder, const char* to) {
    return ::renameat(fromFolder, from, toFolder, to);
}
int SystemCalls::UnlinkAt(int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); }
int SystemCalls::Fsync(int descriptor) { return ::fsync(descriptor); }

SystemCalls& RealSystemCalls() {
    static SystemCalls calls;
    return calls;
}

std::unique_ptr<FileSystem> MakePosixFileSystem(TemporaryFiles temporaries, SystemCalls& calls) {
    return std::make_unique<PosixFileSystem>(temporaries, calls);
}

bool IsTemporaryName(const std::string& name) {
    return name.size() > 1 && name.front() == '.' && name.find(kTemporaryTag) != std::string::npos &&
           name.ends_with(kTemporarySuffix);
}

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace zenivor
