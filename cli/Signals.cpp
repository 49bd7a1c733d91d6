#include "cli/Signals.h"

#include <signal.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "util/FileSystem.h"
#include "util/Interruptions.h"

namespace zenivor {
namespace {

struct State {
    std::mutex mutex;
    Console* console = nullptr;
    std::string folder;  // of a single conversion
    std::uint64_t setsBefore = 0;
    bool batch = false;
};

State& Shared() {
    static State state;
    return state;
}

std::atomic<int> batchStop{0};

// Said once no set is in flight: whether the single conversion's cube was replaced.
void LastWords(int signal) {
    State& state = Shared();
    const std::lock_guard lock(state.mutex);
    if (state.console == nullptr) return;
    std::string text = std::string("stopped by ") + SignalName(signal);
    if (state.batch)
        text += "; every folder holds a whole cube, the old one or the new";
    else if (!state.folder.empty())
        text += SetsPlaced() > state.setsBefore ? "; the cube in " + state.folder + " is the new one, whole"
                                                : "; nothing was replaced in " + state.folder;
    state.console->Say(text);
}

void OnEndingSignal(int signal, int count) {
    State& state = Shared();
    bool batch = false;
    {
        const std::lock_guard lock(state.mutex);
        batch = state.batch;
    }
    if (batch && count == 1) {
        const std::lock_guard lock(state.mutex);
        // Said before the batch is told: once told, it may print its summary and end.
        if (state.console != nullptr)
            state.console->Say(std::string("stopping after the strips being converted; ") + SignalName(signal) +
                               " again stops at once");
        batchStop = signal;
        return;
    }
    EndLikeSignal(signal, [signal] { LastWords(signal); });
}

}  // namespace

ConverterSignals::ConverterSignals(Console& console) {
    ::signal(SIGXFSZ, SIG_IGN);
    {
        State& state = Shared();
        const std::lock_guard lock(state.mutex);
        state.console = &console;
    }
    WatchEndingSignals(OnEndingSignal);
}

ConverterSignals::~ConverterSignals() {
    State& state = Shared();
    const std::lock_guard lock(state.mutex);
    state.console = nullptr;
}

void ConvertingInto(const std::filesystem::path& folder) {
    State& state = Shared();
    const std::lock_guard lock(state.mutex);
    state.folder = Utf8FromPath(folder);
    state.setsBefore = SetsPlaced();
}

void ConvertingBatch() {
    State& state = Shared();
    const std::lock_guard lock(state.mutex);
    state.batch = true;
}

int BatchStopSignal() { return batchStop; }

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a signal";
    }
}

}  // namespace zenivor
