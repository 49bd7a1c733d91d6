#pragma once
// How the converter answers SIGINT, SIGTERM and SIGHUP. A single conversion ends at once, but
// never in the middle of putting its six files in place, and says what it left. A batch stops
// taking strips at the first signal and lets those in flight finish (RunBatch then prints its
// summary and exits 128 + the signal's number); a second signal ends it at once, as a single
// conversion ends. SIGXFSZ is ignored: a file-size limit is then a write that fails, reported as
// a full disk.

#include <filesystem>

#include "cli/Console.h"

namespace zenivor {

// Takes the signals from now on; make it first, before any thread is started. Their messages go
// to the console while this object lives, and are not said after: the console may be gone.
class ConverterSignals {
public:
    explicit ConverterSignals(Console& console);
    ~ConverterSignals();
    ConverterSignals(const ConverterSignals&) = delete;
    ConverterSignals& operator=(const ConverterSignals&) = delete;
};

// What the last words name: the folder a single conversion writes into.
void ConvertingInto(const std::filesystem::path& folder);
// Enters batch mode: the first signal only stops the batch taking strips.
void ConvertingBatch();
// The signal that asked a batch to stop taking strips, or 0.
int BatchStopSignal();

// "SIGINT", "SIGTERM", "SIGHUP".
const char* SignalName(int signal);

}  // namespace zenivor
