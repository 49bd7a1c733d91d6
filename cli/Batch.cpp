#include "cli/Batch.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "cli/Signals.h"
#include "legacy/ErrorText.h"

namespace zenivor {
namespace {

using Clock = std::chrono::steady_clock;

// A conversion holds a few files at once: the strip, the ground template, the folder and its
// lock, the file being staged or read back. Twice that leaves room for the libraries' own.
constexpr std::uint64_t kFilesPerJob = 8;
// Standard streams, the program's own files and those of the libraries it loads.
constexpr std::uint64_t kReservedFiles = 32;
// More conversions than hardware threads keep them busy while others wait on the disk; many
// more only take memory.
constexpr std::size_t kJobsPerThread = 4;

// The open-file limit this process runs under.
std::uint64_t OpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1u << 20;
    return limit.rlim_cur;
}

// A terminal redraw costs little, but more than ten a second only flickers.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 24;

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// "7 s", "3 min 05 s", "2 h 04 min".
std::string Duration(double seconds) {
    const long long whole = std::llround(std::ceil(std::max(seconds, 0.0)));
    char text[64];
    if (whole < 60)
        std::snprintf(text, sizeof text, "%lld s", whole);
    else if (whole < 3600)
        std::snprintf(text, sizeof text, "%lld min %02lld s", whole / 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld h %02lld min", whole / 3600, whole % 3600 / 60);
    return text;
}

std::string Strips(std::size_t count) { return count == 1 ? "strip" : "strips"; }

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// What the threads share: the next strip to take, and the counts the progress line shows.
class BatchRun {
public:
    BatchRun(const BatchRequest& request, const ConverterSetup& setup, Console& console)
        : request_(request), setup_(setup), console_(console) {}

    // Converts the strips on workers threads, until they are done or a signal stops the batch.
    std::size_t Run(std::size_t threads) {
        const std::size_t total = request_.strips.size();
        const bool progress = setup_.terminal && !request_.quiet;
        const Clock::time_point start = Clock::now();
        {
            std::vector<std::jthread> workers;
            workers.reserve(threads);
            try {
                for (std::size_t t = 0; t < threads; ++t) workers.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                // Fewer threads than asked for still do the whole batch; with none, this one does.
                if (workers.empty()) Work();
            }
            const std::size_t started = std::max<std::size_t>(workers.size(), 1);
            std::unique_lock lock(mutex_);
            while (workersDone_ < started) {
                if (progress) {
                    const std::string line = BatchProgressLine(done_, total, SecondsSince(start));
                    lock.unlock();
                    console_.ShowProgress(line);
                    lock.lock();
                }
                finished_.wait_for(lock, kRedrawInterval, [&] { return workersDone_ == started; });
            }
        }
        console_.ClearProgress();
        return converted_;
    }

    std::size_t Attempted() const { return done_; }

private:
    // Takes the next strip until none is left, or a signal asks the batch to stop taking them.
    void Work() {
        for (std::size_t i = next_++; i < request_.strips.size() && BatchStopSignal() == 0; i = next_++) {
            const bool converted = ConvertOne(request_.strips[i]);
            {
                const std::lock_guard lock(mutex_);
                ++done_;
                if (converted) ++converted_;
            }
            finished_.notify_one();
        }
        {
            const std::lock_guard lock(mutex_);
            ++workersDone_;
        }
        finished_.notify_one();
    }

    bool ConvertOne(const std::string& strip) {
        const auto step = [&](const std::string& text) { console_.Say(strip + ": " + text); };
        const std::filesystem::path folder = BatchFolderOf(request_.outRoot, strip);
        std::error_code error;
        const bool folderWasThere = std::filesystem::exists(folder, error);
        Result<void> converted;
        try {
            converted = ConvertStrip(strip, folder, request_.conversion, setup_, step);
        } catch (const std::exception& error) {
            // One strip's lack of memory need not end the others.
            converted = Error{errc::ConversionFailed, 0, UnexpectedErrorText("ConvertStrip", error)};
        }
        if (converted) return true;
        // A strip that never got as far as writing leaves no empty folder behind (remove only
        // takes an empty one).
        if (!folderWasThere) std::filesystem::remove(folder, error);
        std::string text = strip + ": ";
        const std::vector<std::string> lines = FailureLines(converted.Error());
        for (std::size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "; " : "") + lines[i];
        console_.Say(text);
        return false;
    }

    const BatchRequest& request_;
    const ConverterSetup& setup_;
    Console& console_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::condition_variable finished_;
    std::size_t done_ = 0;
    std::size_t converted_ = 0;
    std::size_t workersDone_ = 0;
};

}  // namespace

std::filesystem::path BatchFolderOf(const std::filesystem::path& outRoot, const std::string& strip) {
    return outRoot / PathFromUtf8(strip).stem();
}

Result<void> CheckBatchStrips(const std::filesystem::path& outRoot, const std::vector<std::string>& strips) {
    const auto usage = [](std::string text) { return Error{errc::BadUsage, 0, std::move(text)}; };
    if (strips.empty()) return usage("no strip given");
    std::map<std::filesystem::path, const std::string*> owners;
    for (const std::string& strip : strips) {
        const std::filesystem::path stem = PathFromUtf8(strip).stem();
        if (stem.empty() || stem == "." || stem == "..")
            return usage("the strip " + strip + " has no file name to name its folder");
        const auto [owner, added] = owners.emplace(stem, &strip);
        if (!added)
            return usage("the strips " + *owner->second + " and " + strip + " would both be written into " +
                         Utf8FromPath(outRoot / stem));
    }
    return {};
}

std::size_t BatchWorkerCount(std::size_t jobs, std::size_t strips, std::size_t hardwareThreads,
                             std::uint64_t openFileLimit) {
    const std::uint64_t byFiles = openFileLimit > kReservedFiles ? (openFileLimit - kReservedFiles) / kFilesPerJob : 1;
    const std::uint64_t most = std::min<std::uint64_t>(
        {strips, kJobsPerThread * std::max<std::size_t>(hardwareThreads, 1), std::max<std::uint64_t>(byFiles, 1)});
    return std::clamp<std::size_t>(jobs, 1, std::max<std::size_t>(static_cast<std::size_t>(most), 1));
}

std::string BatchProgressLine(std::size_t done, std::size_t total, double seconds) {
    const std::size_t filled = total == 0 ? kBarWidth : done * kBarWidth / total;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "[" + std::string(n, c).
    std::string line = "[";
    line.append(filled, '#').append(kBarWidth - filled, '-').append("] ");
    line += std::to_string(done) + "/" + std::to_string(total) + " " + Strips(total);
    if (done == 0 || seconds <= 0) return line;
    const double rate = static_cast<double>(done) / seconds;
    line += ", " + Fixed(rate, 1) + "/s, " + Duration(static_cast<double>(total - done) / rate) + " left";
    return line;
}

std::string BatchSummaryLine(std::size_t converted, std::size_t total, double seconds) {
    std::string line = "converted " + std::to_string(converted) + " of " + std::to_string(total) + " " + Strips(total);
    if (converted < total) line += ", " + std::to_string(total - converted) + " failed,";
    return line + " in " + (seconds < 60 ? Fixed(seconds, 1) + " s" : Duration(seconds));
}

std::string BatchStoppedLine(std::size_t converted, std::size_t attempted, std::size_t total, double seconds,
                             const std::string& signal) {
    std::string line = "converted " + std::to_string(converted) + " of " + std::to_string(total) + " " + Strips(total);
    if (converted < attempted) line += ", " + std::to_string(attempted - converted) + " failed";
    line += ", " + std::to_string(total - attempted) + " not started: stopped by " + signal;
    return line + " in " + (seconds < 60 ? Fixed(seconds, 1) + " s" : Duration(seconds));
}

int RunBatch(const BatchRequest& request, const ConverterSetup& setup, Console& console) {
    if (request.strips.empty()) return kExitConverted;
    const Clock::time_point start = Clock::now();
    std::error_code error;
    if (!std::filesystem::is_directory(request.outRoot, error)) {
        std::filesystem::create_directories(request.outRoot, error);
        if (error) {
            console.Say("cannot create the output folder " + Utf8FromPath(request.outRoot) + ": " + error.message());
            return kExitFailed;
        }
    }
    const std::size_t total = request.strips.size();
    const std::size_t workers =
        BatchWorkerCount(request.jobs, total, std::thread::hardware_concurrency(), OpenFileLimit());
    if (workers < std::min<std::size_t>(request.jobs, total) && !request.quiet)
        console.Say("-j " + std::to_string(request.jobs) + " lowered to " + std::to_string(workers) + ": at most " +
                    std::to_string(kJobsPerThread) + " conversions a hardware thread, and " +
                    std::to_string(kFilesPerJob) + " open files each within the limit of " +
                    std::to_string(OpenFileLimit()));
    ConvertingBatch();
    BatchRun run(request, setup, console);
    const std::size_t converted = run.Run(workers);
    if (const int stop = BatchStopSignal(); stop != 0) {
        if (!request.quiet)
            console.Say(BatchStoppedLine(converted, run.Attempted(), total, SecondsSince(start), SignalName(stop)));
        return 128 + stop;
    }
    if (!request.quiet) console.Say(BatchSummaryLine(converted, total, SecondsSince(start)));
    return converted == total ? kExitConverted : kExitFailed;
}

}  // namespace zenivor
