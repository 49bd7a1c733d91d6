#pragma once
// How the POSIX file system stages files and replaces them in sets (see FileSystem.h): the
// temporary files, the journal of a set, the burst of renames and the finishing of a set a killed
// run left. Used by FileSystem.cpp alone.

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "util/FileSystem.h"
#include "util/SystemCalls.h"

namespace zenivor::filesets {

// Retries a call that a signal interrupted.
template <typename Call>
auto Retrying(Call call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// The error of the system call that just failed (errno), of this kind.
Error SystemError(const ErrorKind& kind, int number = errno);

// Writes every byte or fails; a write the system takes only in part, or one past a file-size
// limit, means the disk is full as far as a user can tell.
Result<void> WriteAll(int descriptor, std::span<const ByteSpan> pieces);

// Fills a new file through its descriptor; called again when the file must be made anew.
using Filler = std::function<Result<void>(int descriptor)>;

// Writes and flushes a file that is to become folder/target, under a temporary name, with the
// permission bits and owner of the file it replaces. Once naming an unnamed file has failed for
// want of /proc, unnamedUnusable is set and every later file is named from the start.
Result<StagedFile> Stage(SystemCalls& calls, int folder, const std::string& target, TemporaryFiles kind,
                         std::atomic<bool>& unnamedUnusable, const Filler& fill);

// Puts the staged files in place as one set and flushes the folder.
Result<void> ReplaceSet(SystemCalls& calls, int folder, std::span<StagedFile> files);

// Finishes the sets of targets whose burst a killed run left unfinished, then removes the
// temporary files such runs left of them; only the exact names the program makes are touched.
void FinishLeftSets(SystemCalls& calls, int folder, const std::vector<std::string>& targets);

// The target of a temporary file's or a journal's name of the program's own, or empty.
std::string TemporaryTargetOf(const std::string& name);
std::string JournalTargetOf(const std::string& name);

}  // namespace zenivor::filesets
