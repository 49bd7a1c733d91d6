#include "util/FileSets.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <utility>

#include "util/Interruptions.h"

namespace zenivor::filesets {
namespace {

constexpr std::string_view kTag = ".zenivor-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::string_view kJournalSuffix = ".journal";
constexpr std::string_view kJournalHeader = "zenivor set 1\n";
constexpr std::string_view kJournalEnd = "end\n";
constexpr std::size_t kHexDigits = 16;
constexpr std::size_t kMaxJournalBytes = 64 * 1024;

// Sixteen hexadecimal digits nobody can guess. A device of its own for every thread, so that
// conversions on several threads draw names at once without sharing any generator's state; made
// once, as setting one up costs more than a write.
std::string RandomHex() {
    thread_local std::random_device random;
    const std::uint64_t value = (static_cast<std::uint64_t>(random()) << 32) ^ random();
    char hex[kHexDigits + 1];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

// "." + target + ".zenivor-" + 16 hex digits + suffix: hidden, unpredictable, ours by its shape.
std::string NameFor(const std::string& target, std::string_view suffix) {
    return "." + target + std::string(kTag) + RandomHex() + std::string(suffix);
}

// The target a name of that shape is for, or empty.
std::string TargetOf(const std::string& name, std::string_view suffix) {
    const std::size_t tail = kTag.size() + kHexDigits + suffix.size();
    if (name.size() <= tail + 1 || name.front() != '.' || !name.ends_with(suffix)) return {};
    const std::string_view rest = std::string_view(name).substr(name.size() - tail);
    if (!rest.starts_with(kTag)) return {};
    const std::string_view hex = rest.substr(kTag.size(), kHexDigits);
    const bool digits =
        std::all_of(hex.begin(), hex.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
    return digits ? name.substr(1, name.size() - tail - 1) : std::string();
}

void CloseQuietly(int descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

// Closes its descriptor when it goes.
struct OwnedDescriptor {
    explicit OwnedDescriptor(int descriptor) : value(descriptor) {}
    int value;
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() { CloseQuietly(value); }
};

// The file a staged one will replace: a folder there fails the set before anything is written;
// a regular file's permission bits and owner go to its successor.
struct Predecessor {
    bool exists = false;
    mode_t mode = 0;
    uid_t owner = 0;
    gid_t group = 0;
};

Result<Predecessor> PredecessorOf(int folder, const std::string& target) {
    struct stat status {};
    if (::fstatat(folder, target.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return Predecessor{};
        return SystemError(errc::FileCreate);
    }
    if (S_ISDIR(status.st_mode)) return Error{errc::FileCreate, EISDIR, target + " is a folder"};
    if (!S_ISREG(status.st_mode)) return Predecessor{};  // a link is replaced, not followed
    return Predecessor{true, status.st_mode & 07777, status.st_uid, status.st_gid};
}

// Gives the new file its predecessor's owner (one the system will not give, not being root,
// leaves the file the writer's, as cp does) before it is written, and its permission bits after:
// changing the owner, or writing without the capability to keep them, clears the set-user-ID
// and set-group-ID bits.
Result<void> InheritOwner(int descriptor, const Predecessor& predecessor) {
    if (predecessor.exists && ::fchown(descriptor, predecessor.owner, predecessor.group) != 0 && errno != EPERM)
        return SystemError(errc::FileWrite);
    return {};
}

Result<void> InheritMode(int descriptor, const Predecessor& predecessor) {
    if (predecessor.exists && ::fchmod(descriptor, predecessor.mode) != 0) return SystemError(errc::FileWrite);
    return {};
}

// Writes the new file and flushes it, as its predecessor's.
Result<void> Fill(SystemCalls& calls, int descriptor, const Predecessor& predecessor, const Filler& fill) {
    if (Result<void> owned = InheritOwner(descriptor, predecessor); !owned) return owned;
    if (Result<void> written = fill(descriptor); !written) return written;
    if (Result<void> moded = InheritMode(descriptor, predecessor); !moded) return moded;
    if (calls.Fsync(descriptor) != 0) return SystemError(errc::FileWrite);
    return {};
}

// The staged file's removal, registered as pending so that an ending signal removes it too.
StagedFile Staged(SystemCalls& calls, int folder, const std::string& target, const std::string& name) {
    auto pending = std::make_shared<PendingTemporary>(folder, name);
    return StagedFile(target, name, [&calls, folder, name, pending] { calls.UnlinkAt(folder, name.c_str(), 0); });
}

// A named temporary file, made so that it cannot be an existing file or a planted link.
Result<StagedFile> StageNamed(SystemCalls& calls, int folder, const std::string& target, const Predecessor& predecessor,
                              const Filler& fill) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = NameFor(target, kTemporarySuffix);
        std::optional<StagedFile> staged;
        int descriptor = -1;
        {
            // No ending signal between making the name and marking it ours to remove.
            const BurstGuard noSignalMeanwhile;
            descriptor = Retrying([&] {
                return calls.OpenAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            });
            if (descriptor >= 0) staged.emplace(Staged(calls, folder, target, name));
        }
        if (descriptor < 0 && errno == EEXIST) continue;
        if (descriptor < 0) return SystemError(errc::FileCreate);
        Result<void> written = Fill(calls, descriptor, predecessor, fill);
        if (::close(descriptor) != 0 && errno != EINTR && written) written = SystemError(errc::FileWrite);
        if (!written) return written.Error();
        return std::move(*staged);
    }
    return SystemError(errc::FileCreate, EEXIST);
}

// Gives a finished unnamed file a fresh name beside its target.
Result<std::string> NameUnnamed(SystemCalls& calls, int folder, int descriptor, const std::string& target) {
    const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = NameFor(target, kTemporarySuffix);
        if (calls.LinkAt(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
        if (errno != EEXIST) return SystemError(errc::FileCreate);
    }
    return SystemError(errc::FileCreate, EEXIST);
}

// An unnamed file (O_TMPFILE) leaves nothing if the program dies while writing it. Empty when
// the file system cannot make one, or it cannot be named here (without /proc).
Result<std::optional<StagedFile>> StageUnnamed(SystemCalls& calls, int folder, const std::string& target,
                                               const Predecessor& predecessor, std::atomic<bool>& unnamedUnusable,
                                               const Filler& fill) {
    const int descriptor = Retrying([&] { return calls.OpenAt(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); });
    if (descriptor < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT)
            return std::optional<StagedFile>();
        return SystemError(errc::FileCreate);
    }
    const OwnedDescriptor closing{descriptor};
    if (Result<void> written = Fill(calls, descriptor, predecessor, fill); !written) return written.Error();
    const BurstGuard noSignalMeanwhile;  // between naming the file and marking the name ours
    Result<std::string> name = NameUnnamed(calls, folder, descriptor, target);
    if (!name) {
        const int number = name.Error().systemError;
        if (number != ENOENT && number != EINVAL) return name.Error();
        unnamedUnusable = true;
        return std::optional<StagedFile>();
    }
    return std::optional<StagedFile>(Staged(calls, folder, target, *name));
}

Result<void> FlushFolder(SystemCalls& calls, int folder) {
    if (Retrying([&] { return calls.Fsync(folder); }) != 0) return SystemError(errc::FileWrite);
    return {};
}

std::string JournalText(std::span<StagedFile> files) {
    std::string text(kJournalHeader);
    for (const StagedFile& file : files) text += file.TemporaryName() + "\t" + file.Target() + "\n";
    return text + std::string(kJournalEnd);
}

// Records the set's intent beside it and flushes it with the folder, so that a burst cut short
// (by a crash or a power cut) can be finished. Its name is returned.
Result<std::string> WriteJournal(SystemCalls& calls, int folder, std::span<StagedFile> files) {
    const std::string text = JournalText(files);
    const ByteSpan piece(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    const std::string name = NameFor(files.front().Target(), kJournalSuffix);
    const int descriptor = Retrying(
        [&] { return calls.OpenAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600); });
    if (descriptor < 0) return SystemError(errc::FileCreate);
    Result<void> written = WriteAll(descriptor, {&piece, 1});
    if (written && calls.Fsync(descriptor) != 0) written = SystemError(errc::FileWrite);
    CloseQuietly(descriptor);
    if (written) written = FlushFolder(calls, folder);
    if (!written) {
        calls.UnlinkAt(folder, name.c_str(), 0);
        return written.Error();
    }
    return name;
}

// The renames. What a failed rename leaves is the journal's to finish: no staged file is removed
// once the burst has begun.
Result<void> Burst(SystemCalls& calls, int folder, std::span<StagedFile> files, BurstGuard& guard) {
    Result<void> renamed;
    for (StagedFile& file : files) {
        if (renamed && calls.RenameAt(folder, file.TemporaryName().c_str(), folder, file.Target().c_str()) != 0)
            renamed = Error{errc::ReplacedInPart, errno,
                            "the set is replaced in part; the next conversion into the folder finishes it"};
        file.Placed();
    }
    if (renamed) guard.Placed();
    return renamed;
}

// The pairs of a journal's text, or nothing when it is not a whole journal of these targets.
std::optional<std::vector<std::pair<std::string, std::string>>> JournalEntries(
    const std::string& text, const std::vector<std::string>& targets) {
    if (!text.starts_with(kJournalHeader) || !text.ends_with(kJournalEnd)) return std::nullopt;
    std::vector<std::pair<std::string, std::string>> entries;
    const std::size_t end = text.size() - kJournalEnd.size();
    for (std::size_t at = kJournalHeader.size(); at < end;) {
        const std::size_t newline = text.find('\n', at);
        const std::size_t tab = text.find('\t', at);
        if (newline == std::string::npos || newline > end || tab == std::string::npos || tab > newline)
            return std::nullopt;
        std::string temporary = text.substr(at, tab - at);
        std::string target = text.substr(tab + 1, newline - tab - 1);
        const bool ours = std::find(targets.begin(), targets.end(), target) != targets.end() &&
                          TargetOf(temporary, kTemporarySuffix) == target;
        if (!ours) return std::nullopt;
        entries.emplace_back(std::move(temporary), std::move(target));
        at = newline + 1;
    }
    return entries;
}

std::optional<std::string> ReadJournal(int folder, const std::string& name) {
    const int descriptor = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    std::string text(kMaxJournalBytes + 1, '\0');
    const ssize_t got = ::pread(descriptor, text.data(), text.size(), 0);
    CloseQuietly(descriptor);
    if (got < 0 || static_cast<std::size_t>(got) > kMaxJournalBytes) return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    return text;
}

// Puts in place what a journal's burst had not: its staged files that are still there.
void FinishJournal(SystemCalls& calls, int folder, const std::string& name, const std::vector<std::string>& targets) {
    const std::optional<std::string> text = ReadJournal(folder, name);
    const auto entries = text ? JournalEntries(*text, targets) : std::nullopt;
    if (entries) {
        for (const auto& [temporary, target] : *entries) {
            struct stat status {};
            if (::fstatat(folder, temporary.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
                calls.RenameAt(folder, temporary.c_str(), folder, target.c_str());
        }
        (void)FlushFolder(calls, folder);
    }
    calls.UnlinkAt(folder, name.c_str(), 0);
}

std::vector<std::string> Names(int folder) {
    std::vector<std::string> names;
    const int listing = ::dup(folder);
    DIR* directory = listing < 0 ? nullptr : ::fdopendir(listing);
    if (directory == nullptr) {
        CloseQuietly(listing);
        return names;
    }
    ::rewinddir(directory);
    while (const dirent* entry = ::readdir(directory)) names.emplace_back(entry->d_name);
    ::closedir(directory);
    return names;
}

bool IsOneOf(const std::string& name, const std::vector<std::string>& targets) {
    return !name.empty() && std::find(targets.begin(), targets.end(), name) != targets.end();
}

}  // namespace

Error SystemError(const ErrorKind& kind, int number) { return Error{kind, number}; }

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
        if (written < 0) return SystemError(errc::FileWrite, errno == EFBIG ? ENOSPC : errno);
        if (static_cast<std::size_t>(written) != asked) return SystemError(errc::FileWrite, ENOSPC);
        first += static_cast<std::size_t>(count);
    }
    return {};
}

Result<StagedFile> Stage(SystemCalls& calls, int folder, const std::string& target, TemporaryFiles kind,
                         std::atomic<bool>& unnamedUnusable, const Filler& fill) {
    const Result<Predecessor> predecessor = PredecessorOf(folder, target);
    if (!predecessor) return predecessor.Error();
    if (kind == TemporaryFiles::UnnamedWherePossible && !unnamedUnusable) {
        Result<std::optional<StagedFile>> unnamed =
            StageUnnamed(calls, folder, target, *predecessor, unnamedUnusable, fill);
        if (!unnamed) return unnamed.Error();
        if (*unnamed) return std::move(**unnamed);
    }
    return StageNamed(calls, folder, target, *predecessor, fill);
}

Result<void> ReplaceSet(SystemCalls& calls, int folder, std::span<StagedFile> files) {
    if (files.empty()) return {};
    // No ending signal from the journal's first byte to its removal: a signal either comes
    // before, and removes the staged files, or after, with the set placed.
    BurstGuard guard;
    // One rename is atomic on its own: a set of one needs no journal.
    std::optional<std::string> journal;
    if (files.size() > 1) {
        Result<std::string> written = WriteJournal(calls, folder, files);
        if (!written) return written.Error();
        journal = std::move(*written);
    }
    if (Result<void> renamed = Burst(calls, folder, files, guard); !renamed) return renamed;
    if (Result<void> flushed = FlushFolder(calls, folder); !flushed) return flushed;
    if (journal) calls.UnlinkAt(folder, journal->c_str(), 0);
    return {};
}

void FinishLeftSets(SystemCalls& calls, int folder, const std::vector<std::string>& targets) {
    std::vector<std::string> names = Names(folder);
    for (const std::string& name : names)
        if (IsOneOf(TargetOf(name, kJournalSuffix), targets)) FinishJournal(calls, folder, name, targets);
    names = Names(folder);
    for (const std::string& name : names)
        if (IsOneOf(TargetOf(name, kTemporarySuffix), targets)) calls.UnlinkAt(folder, name.c_str(), 0);
}

std::string TemporaryTargetOf(const std::string& name) { return TargetOf(name, kTemporarySuffix); }
std::string JournalTargetOf(const std::string& name) { return TargetOf(name, kJournalSuffix); }

}  // namespace zenivor::filesets
