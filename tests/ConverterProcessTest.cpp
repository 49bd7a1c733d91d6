// The built converter as a process under what a user's shell does to it: signals in the middle
// of a conversion or a batch, another conversion holding the output folder, a file-size limit.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "conversion/Cube.h"
#include "tests/TestSupport.h"
#include "util/FileSystem.h"

namespace zenivor::test {
namespace {

using namespace std::chrono_literals;

const std::filesystem::path kProgramFolder = ZENIVOR_PROGRAM_FOLDER;

// A converter started with arguments, its standard error read through a pipe.
class Converter {
public:
    explicit Converter(const std::vector<std::string>& arguments, const std::function<void()>& inChild = {}) {
        int ends[2];
        if (::pipe(ends) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(ends[1], 2);
            ::close(ends[0]);
            if (inChild) inChild();
            std::vector<char*> argv{const_cast<char*>(ZENIVOR_CONVERTER)};
            for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(ZENIVOR_CONVERTER, argv.data());
            ::_exit(127);
        }
        ::close(ends[1]);
        err_ = ends[0];
    }
    ~Converter() {
        if (pid_ > 0 && !waited_) Wait();
        if (err_ >= 0) ::close(err_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    void Signal(int signal) const { ::kill(pid_, signal); }
    // The exit status, or minus the signal that killed it; standard error is read to its end.
    int Wait() {
        char buffer[4096];
        for (ssize_t got; (got = ::read(err_, buffer, sizeof buffer)) > 0;)
            err.append(buffer, static_cast<std::size_t>(got));
        int status = 0;
        ::waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    std::string err;

private:
    pid_t pid_ = -1;
    int err_ = -1;
    bool waited_ = false;
};

// Waits, in small steps, until condition holds or a deadline passes; false then.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// What a folder holds: the six files whole from one strip ("old" or "new"), none of them, or a mix.
std::string CubeState(const std::filesystem::path& folder, const std::vector<std::vector<std::uint8_t>>& old,
                      const std::vector<std::vector<std::uint8_t>>& fresh) {
    std::vector<std::vector<std::uint8_t>> files;
    for (const char* name : kCubeFileNames)
        if (std::filesystem::exists(folder / name)) files.push_back(ReadBytes(folder / name));
    if (files.empty()) return "none";
    if (files == old) return "old";
    if (files == fresh) return "new";
    return "mixed";
}

class ConverterProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteTga(strip_, CoordinateImage(504, 504));
        RgbImage other = CoordinateImage(2016, 504);
        for (auto& byte : other.pixels) byte = static_cast<std::uint8_t>(255 - byte);
        WriteTga(otherStrip_, other);
    }
    // Names for one strip, as many as asked (hard links, so that a batch has strips to spare).
    std::vector<std::string> Strips(int count) {
        std::vector<std::string> strips;
        std::filesystem::create_directories(dir_ / "strips");
        for (int i = 0; i < count; ++i) {
            const auto name = dir_ / "strips" / ("s" + std::to_string(i) + ".tga");
            std::filesystem::create_hard_link(strip_, name);
            strips.push_back(Utf8FromPath(name));
        }
        return strips;
    }

    TempDir dir_;
    std::filesystem::path strip_ = dir_ / "strip.tga";
    std::filesystem::path otherStrip_ = dir_ / "other.tga";
};

// The first signal stops a batch taking strips: those under way finish, the summary says so and
// the status is the signal's. A second ends it at once. Either way no folder is half written.
TEST_F(ConverterProcessTest, ABatchStopsOnASignalWithItsSummaryAndNoFolderHalfWritten) {
    const struct {
        const char* name;
        int signal;
        int signals;
    } rows[] = {{"Ctrl+C", SIGINT, 1}, {"kill", SIGTERM, 1}, {"Ctrl+C twice", SIGINT, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto root = dir_ / ("cubes " + std::to_string(row.signal) + "-" + std::to_string(row.signals));
        std::vector<std::string> arguments = {"--batch", Utf8FromPath(root), "-j", "2"};
        std::filesystem::remove_all(dir_ / "strips");
        for (const std::string& strip : Strips(400)) arguments.push_back(strip);
        Converter converter(arguments);
        ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(root / "s0" / "F0060001.tga"); }));
        for (int i = 0; i < row.signals; ++i) converter.Signal(row.signal);
        EXPECT_EQ(converter.Wait(), 128 + row.signal) << converter.err;
        const std::string name = row.signal == SIGINT ? "SIGINT" : "SIGTERM";
        EXPECT_NE(converter.err.find("stopping after the strips being converted"), std::string::npos) << converter.err;
        const std::string last = row.signals == 1 ? "not started: stopped by " + name : "stopped by " + name;
        EXPECT_NE(converter.err.find(last), std::string::npos) << converter.err;
        int whole = 0;
        const std::vector<std::vector<std::uint8_t>> none;
        const auto expected = CubeFileBytes(root / "s0");
        for (const auto& folder : std::filesystem::directory_iterator(root)) {
            const std::string state = CubeState(folder.path(), none, expected);
            EXPECT_TRUE(state == "new" || state == "none") << folder.path() << " is " << state;
            whole += state == "new";
            for (const std::string& entry : EntriesIn(folder.path()))
                EXPECT_TRUE(std::find(kCubeFileNames.begin(), kCubeFileNames.end(), entry) != kCubeFileNames.end())
                    << entry << " left in " << folder.path();
        }
        EXPECT_LT(whole, 400) << "the batch stopped early";
    }
}

// A single conversion ends at once on a signal, and says what it left: the old cube or the new,
// never a mix of them.
TEST_F(ConverterProcessTest, ASingleConversionSaysWhatASignalLeft) {
    const auto out = dir_ / "cube";
    ASSERT_EQ(Converter({Utf8FromPath(strip_), Utf8FromPath(out)}).Wait(), 0);
    const auto old = CubeFileBytes(out);
    const auto reference = dir_ / "reference";
    ASSERT_EQ(Converter({Utf8FromPath(otherStrip_), Utf8FromPath(reference)}).Wait(), 0);
    const auto fresh = CubeFileBytes(reference);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(Converter({Utf8FromPath(strip_), Utf8FromPath(out)}).Wait(), 0);
        Converter converter({Utf8FromPath(otherStrip_), Utf8FromPath(out)});
        // Signalled once it holds the folder, somewhere between staging and renaming.
        ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(out / kLockFileName); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(round));
        converter.Signal(SIGINT);
        const int status = converter.Wait();
        const std::string state = CubeState(out, old, fresh);
        if (status == 0) {
            EXPECT_EQ(state, "new");  // it had finished
            continue;
        }
        EXPECT_EQ(status, 130) << converter.err;
        EXPECT_TRUE(state == "old" || state == "new") << state;
        const std::string said = state == "old"
                                     ? "stopped by SIGINT; nothing was replaced in " + Utf8FromPath(out)
                                     : "stopped by SIGINT; the cube in " + Utf8FromPath(out) + " is the new one";
        EXPECT_NE(converter.err.find(said), std::string::npos) << converter.err;
        EXPECT_EQ(EntriesIn(out), CubeFilesIn(out)) << "no temporary file is left";
    }
}

// Another conversion's lock (here the test's own) holds a conversion back: it says so after a
// second and gives up after --wait; a lock released meanwhile lets it go on. A reader's lock on
// the folder itself holds nothing back.
TEST_F(ConverterProcessTest, ALockedFolderIsWaitedForAsLongAsAllowed) {
    const struct {
        const char* name;
        bool lockFile;
        const char* wait;
        std::chrono::milliseconds release;
        int status;
        bool waitingSaid;
    } rows[] = {
        {"held past the wait", true, "1.5", 60s, 1, true},
        {"released in time", true, "20", 1500ms, 0, true},
        {"held a moment", true, "20", 300ms, 0, false},
        {"only a reader's lock on the folder", false, "1", 60s, 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto out = dir_ / row.name;
        std::filesystem::create_directories(out);
        const int lock = row.lockFile ? ::open((out / kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)
                                      : ::open(out.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(lock, 0);
        ASSERT_EQ(::flock(lock, LOCK_EX), 0);
        const auto started = std::chrono::steady_clock::now();
        Converter converter({"--wait", row.wait, Utf8FromPath(strip_), Utf8FromPath(out)});
        const bool released = row.release < 60s;
        std::thread releaser;
        if (released)
            releaser = std::thread([&] {
                std::this_thread::sleep_for(row.release);
                ::close(lock);
            });
        EXPECT_EQ(converter.Wait(), row.status) << converter.err;
        const auto took = std::chrono::steady_clock::now() - started;
        if (released) {
            releaser.join();
            EXPECT_GE(took, row.release) << "it waited for the lock";
        } else {
            ::close(lock);
        }
        EXPECT_EQ(converter.err.find("waiting for another conversion into " + Utf8FromPath(out)) != std::string::npos,
                  row.waitingSaid)
            << converter.err;
        if (row.status != 0) {
            EXPECT_NE(converter.err.find("did not finish in time"), std::string::npos) << converter.err;
            EXPECT_EQ(CubeFilesIn(out), std::vector<std::string>{});
        } else {
            EXPECT_EQ(CubeFilesIn(out).size(), 6u);
        }
    }
}

// A file-size limit (ulimit -f) is a write that fails, as on a full disk, not a signal that kills.
TEST_F(ConverterProcessTest, AFileSizeLimitIsReportedAsAFullDisk) {
    const auto out = dir_ / "limited";
    Converter converter({Utf8FromPath(strip_), Utf8FromPath(out)}, [] {
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(converter.Wait(), 1) << converter.err;
    EXPECT_NE(converter.err.find("error: 28 (No space left on device)"), std::string::npos) << converter.err;
    EXPECT_NE(converter.err.find("nothing was replaced in " + Utf8FromPath(out)), std::string::npos) << converter.err;
    EXPECT_EQ(EntriesIn(out), std::vector<std::string>{});
}

}  // namespace
}  // namespace zenivor::test
