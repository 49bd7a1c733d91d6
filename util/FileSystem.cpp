// The file system of this machine, through POSIX calls: the one place the core talks to the
// system about files. Every access to a folder opened for writing goes through its descriptor,
// so no path the kernel would refuse part-way (too long, say) is ever formed.
#include "util/FileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <thread>
#include <utility>
#include <vector>

#include "util/FileSets.h"
#include "util/Interruptions.h"
#include "util/SystemCalls.h"

namespace zenivor {
namespace {

using filesets::Retrying;
using filesets::SystemError;

// What one call asks the kernel to copy: more than any ground template.
constexpr std::size_t kKernelCopyChunk = 16 * 1024 * 1024;
// How often a wait for a folder's lock looks again, and says it is waiting.
constexpr auto kLockPoll = std::chrono::milliseconds(20);
constexpr auto kWaitReport = std::chrono::seconds(1);

void CloseQuietly(int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

std::string KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "not a plain file";
}

// An open descriptor as a file to read: a regular file, and no longer non-blocking.
Result<InputFile> RegularFile(int descriptor) {
    InputFile guard(descriptor, 0);  // closes it on the early returns
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) return SystemError(errc::FileRead);
    if (S_ISDIR(status.st_mode)) return SystemError(errc::NotAFile, EISDIR);
    if (!S_ISREG(status.st_mode)) return Error{errc::NotAFile, 0, KindOf(status.st_mode)};
    if (::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0)
        return SystemError(errc::FileRead);
    return InputFile(guard.Release(), static_cast<std::uint64_t>(status.st_size));
}

// Non-blocking, so that opening a FIFO does not wait for a writer.
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

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
        if (auto written = filesets::WriteAll(target, {&piece, 1}); !written) return written;
        offset += *got;
    }
}

Result<void> CopyWhole(const InputFile& source, int target) {
    const Result<bool> copied = CopyInKernel(source, target);
    if (!copied) return copied.Error();
    return *copied ? Result<void>() : CopyThroughMemory(source, target);
}

// The lock file as a name, its descriptor held with an exclusive lock; a file whose name its
// holder removed on the way out (after we opened it) is no lock any more, so the name is opened
// again.
enum class Locking { Locked, Busy, Again };

// The lock file held, and its name marked as ours to remove should the program end on a signal.
struct HeldLock {
    int descriptor = -1;
    std::shared_ptr<void> pending;
};

// No ending signal comes between taking the lock and marking its name: a name left behind
// would keep nobody out, but litter the folder.
Result<Locking> TryLock(int folder, HeldLock& taken) {
    const BurstGuard noSignalMeanwhile;
    int& lock = taken.descriptor;
    lock = Retrying([&] { return ::openat(folder, kLockFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666); });
    if (lock < 0) return SystemError(errc::FileCreate);
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const int number = errno;
        CloseQuietly(std::exchange(lock, -1));
        if (number == EWOULDBLOCK || number == EINTR) return Locking::Busy;
        return SystemError(errc::FileCreate, number);
    }
    struct stat held {
    }, named{};
    const bool same = ::fstat(lock, &held) == 0 && ::fstatat(folder, kLockFileName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                      held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    if (same) {
        taken.pending = std::make_shared<PendingTemporary>(folder, kLockFileName);
        return Locking::Locked;
    }
    CloseQuietly(std::exchange(lock, -1));
    return Locking::Again;
}

// Waits for the folder's lock as use allows.
Result<HeldLock> Lock(int folder, const FolderUse& use) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    auto nextReport = kWaitReport;
    for (;;) {
        HeldLock lock;
        const Result<Locking> tried = TryLock(folder, lock);
        if (!tried) return tried.Error();
        if (*tried == Locking::Locked) return lock;
        if (*tried == Locking::Again) continue;
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        if (waited >= use.wait)
            return Error{errc::FolderBusy, 0, "waited " + std::to_string((waited.count() + 500) / 1000) + " s"};
        if (waited >= nextReport) {
            if (use.waiting && !use.waiting(waited)) return Error{errc::Cancelled};
            nextReport += kWaitReport;
        }
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(kLockPoll, use.wait - waited));
    }
}

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(TemporaryFiles temporaries, SystemCalls& calls) : temporaries_(temporaries), calls_(calls) {}

    Result<InputFile> Open(const std::filesystem::path& path) override {
        const int descriptor = Retrying([&] { return ::open(path.c_str(), kReadFlags); });
        if (descriptor < 0) return SystemError(errc::FileOpen);
        return RegularFile(descriptor);
    }

    Result<InputFile> OpenIn(OutputFolder& folder, const std::string& name) override {
        const int descriptor =
            Retrying([&] { return calls_.OpenAt(folder.Descriptor(), name.c_str(), kReadFlags, 0); });
        if (descriptor < 0) return SystemError(errc::FileOpen);
        return RegularFile(descriptor);
    }

    Result<void> CheckExists(const std::filesystem::path& path) override {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) return SystemError(errc::FileOpen);
        return {};
    }

    Result<void> ExistsIn(OutputFolder& folder, const std::string& name) override {
        struct stat status {};
        if (::fstatat(folder.Descriptor(), name.c_str(), &status, 0) != 0) return SystemError(errc::FileOpen);
        return {};
    }

    Result<OutputFolder> OpenFolder(const std::filesystem::path& path, const FolderUse& use) override {
        const std::filesystem::path shown = path.empty() ? std::filesystem::path(".") : path;
        const int descriptor = Retrying([&] { return ::open(shown.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (descriptor < 0) return SystemError(errc::FileCreate);
        if (!use.lock) return OutputFolder(descriptor, -1, nullptr, path);
        Result<HeldLock> lock = Lock(descriptor, use);
        if (!lock) {
            CloseQuietly(descriptor);
            return lock.Error();
        }
        OutputFolder folder(descriptor, lock->descriptor, std::move(lock->pending), path);
        filesets::FinishLeftSets(calls_, folder.Descriptor(), use.targets);
        return folder;
    }

    Result<StagedFile> Stage(OutputFolder& folder, const std::string& target,
                             std::span<const ByteSpan> pieces) override {
        return filesets::Stage(calls_, folder.Descriptor(), target, temporaries_, unnamedUnusable_,
                               [pieces](int descriptor) { return filesets::WriteAll(descriptor, pieces); });
    }

    Result<StagedFile> StageCopy(const InputFile& source, OutputFolder& folder, const std::string& target) override {
        return filesets::Stage(calls_, folder.Descriptor(), target, temporaries_, unnamedUnusable_,
                               [&source](int descriptor) { return CopyWhole(source, descriptor); });
    }

    Result<void> Replace(OutputFolder& folder, std::span<StagedFile> files) override {
        return filesets::ReplaceSet(calls_, folder.Descriptor(), files);
    }

private:
    TemporaryFiles temporaries_;
    SystemCalls& calls_;
    std::atomic<bool> unnamedUnusable_{false};  // naming unnamed files failed for want of /proc
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

OutputFolder::OutputFolder(int descriptor, int lock, std::shared_ptr<void> pendingLock, std::filesystem::path path)
    : descriptor_(descriptor), lock_(lock), pendingLock_(std::move(pendingLock)), path_(std::move(path)) {}

OutputFolder::OutputFolder(OutputFolder&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)),
      lock_(std::exchange(other.lock_, -1)),
      pendingLock_(std::move(other.pendingLock_)),
      path_(std::move(other.path_)) {}

OutputFolder& OutputFolder::operator=(OutputFolder&& other) noexcept {
    if (this != &other) {
        Close();
        descriptor_ = std::exchange(other.descriptor_, -1);
        lock_ = std::exchange(other.lock_, -1);
        pendingLock_ = std::move(other.pendingLock_);
        path_ = std::move(other.path_);
    }
    return *this;
}

OutputFolder::~OutputFolder() { Close(); }

// The lock file's name goes while the lock is still held, so that no one locks a file of that
// name that nobody can find any more.
void OutputFolder::Close() {
    if (lock_ >= 0) {
        ::unlinkat(descriptor_, kLockFileName, 0);
        pendingLock_.reset();
        CloseQuietly(std::exchange(lock_, -1));
    }
    CloseQuietly(std::exchange(descriptor_, -1));
}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
    if (this != &other) {
        if (discard_) discard_();
        target_ = std::move(other.target_);
        temporary_ = std::move(other.temporary_);
        discard_ = std::exchange(other.discard_, nullptr);
    }
    return *this;
}

StagedFile::~StagedFile() {
    if (discard_) discard_();
}

Result<OutputFolder> FileSystem::OpenFolderFor(const std::filesystem::path& path, const std::string& target) {
    return OpenFolder(path, FolderUse{.targets = {target}, .lock = false});
}

Result<void> FileSystem::Write(OutputFolder& folder, const std::string& target, std::span<const ByteSpan> pieces) {
    Result<StagedFile> staged = Stage(folder, target, pieces);
    if (!staged) return staged.Error();
    return Replace(folder, {&*staged, 1});
}

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

std::string TemporaryTarget(const std::string& name) { return filesets::TemporaryTargetOf(name); }

bool IsJournalOf(const std::string& name, const std::string& target) {
    return filesets::JournalTargetOf(name) == target;
}

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace zenivor
