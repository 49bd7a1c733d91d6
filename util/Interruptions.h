#pragma once
// The signals that ask a program to end (SIGINT, SIGTERM, SIGHUP) never cut a set of files
// short while it is being put in place: a program that watches them takes them on a thread of
// its own, and ends only once no set is between its first rename and its last. The named
// temporary files of unfinished writes are removed on the way out.

#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>

namespace zenivor {

// Held while a set of files is renamed into place; the program does not end meanwhile.
class BurstGuard {
public:
    BurstGuard();
    ~BurstGuard();
    // The set is in place: counted in SetsPlaced().
    void Placed();
    BurstGuard(const BurstGuard&) = delete;
    BurstGuard& operator=(const BurstGuard&) = delete;

private:
    std::shared_lock<std::shared_mutex> lock_;
};

// A temporary file that would be left behind if the program ended now: removed when it does.
class PendingTemporary {
public:
    PendingTemporary(int folder, std::string name);
    ~PendingTemporary();
    PendingTemporary(const PendingTemporary&) = delete;
    PendingTemporary& operator=(const PendingTemporary&) = delete;

private:
    int folder_;
    std::string name_;
};

// What to do with the count-th ending signal (1 for the first): to end, it calls EndLikeSignal.
using EndingSignalHandler = std::function<void(int signal, int count)>;

// Blocks the ending signals in this thread and every thread it starts from now on, and takes
// them on a thread of its own. Call once, before any other thread is started.
void WatchEndingSignals(EndingSignalHandler handler);

// How many sets this process has put in place so far.
std::uint64_t SetsPlaced();

// Ends the program as a signal would, once no set is being put in place: lastWords are said
// then (with no set in flight, so SetsPlaced() tells what was done), the pending temporaries
// are removed, and the program exits with 128 + signal. Safe from any thread.
[[noreturn]] void EndLikeSignal(int signal, const std::function<void()>& lastWords = nullptr);

}  // namespace zenivor
