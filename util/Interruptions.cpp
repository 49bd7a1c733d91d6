#include "util/Interruptions.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

namespace zenivor {
namespace {

// Bursts share it; ending the program takes it whole, so that it waits for them and keeps new
// ones from starting.
std::shared_mutex& Bursts() {
    static std::shared_mutex bursts;
    return bursts;
}

struct Pending {
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> files;  // folder descriptor and name
};

Pending& PendingFiles() {
    static Pending pending;
    return pending;
}

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t EndingSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kEndingSignals) sigaddset(&set, signal);
    return set;
}

}  // namespace

std::atomic<std::uint64_t> setsPlaced{0};

BurstGuard::BurstGuard() : lock_(Bursts()) {}
BurstGuard::~BurstGuard() = default;
void BurstGuard::Placed() { ++setsPlaced; }

std::uint64_t SetsPlaced() { return setsPlaced; }

PendingTemporary::PendingTemporary(int folder, std::string name) : folder_(folder), name_(std::move(name)) {
    Pending& pending = PendingFiles();
    const std::lock_guard lock(pending.mutex);
    pending.files.emplace_back(folder_, name_);
}

PendingTemporary::~PendingTemporary() {
    Pending& pending = PendingFiles();
    const std::lock_guard lock(pending.mutex);
    const auto found = std::find(pending.files.begin(), pending.files.end(), std::pair(folder_, name_));
    if (found != pending.files.end()) pending.files.erase(found);
}

void WatchEndingSignals(EndingSignalHandler handler) {
    const sigset_t set = EndingSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, handler = std::move(handler)] {
        for (int count = 1;; ++count) {
            int signal = 0;
            if (::sigwait(&set, &signal) != 0) continue;
            handler(signal, count);
        }
    }).detach();
}

void EndLikeSignal(int signal, const std::function<void()>& lastWords) {
    const std::unique_lock bursts(Bursts());
    if (lastWords) lastWords();
    {
        Pending& pending = PendingFiles();
        const std::lock_guard lock(pending.mutex);
        for (const auto& [folder, name] : pending.files) ::unlinkat(folder, name.c_str(), 0);
    }
    ::_exit(128 + signal);
}

}  // namespace zenivor
