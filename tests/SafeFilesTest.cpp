// Conversions under attack and bad luck, with real processes: links planted in a shared folder,
// two converters in one folder, a writer killed at random points, a strip with gigabytes of
// trailing bytes under a memory limit.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <random>
#include <string_view>
#include <thread>

#include "conversion/CubeFileSteps.h"
#include "conversion/ProcessSky.h"
#include "tests/FailingFileSystem.h"
#include "tests/Sanitizers.h"
#include "tests/TestSupport.h"
#include "util/SystemCalls.h"

namespace zenivor::test {
namespace {

using Cube = std::array<std::vector<std::uint8_t>, 6>;

Cube CubeIn(const std::filesystem::path& folder) {
    Cube cube;
    for (const Face face : kAllFaces) cube[static_cast<std::size_t>(face)] = ReadBytes(folder / FileNameOf(face));
    return cube;
}

// Runs fn in a child process and returns the child's pid; the child exits with fn's result.
template <typename Fn>
pid_t Forked(Fn fn) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(fn());
    return child;
}

// The exit code of a child, or -signal when it was killed.
int Waited(pid_t child) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child) return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class SafeFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(programFolder_);
        std::filesystem::create_directories(output_);
        WriteBytes(programFolder_ / kGroundTemplateFile, {'g', 'r', 'o', 'u', 'n', 'd'});
        WriteTga(stripA_, CoordinateImage(2016, 504));
        RgbImage other = CoordinateImage(1008, 504);
        for (auto& byte : other.pixels) byte = static_cast<std::uint8_t>(255 - byte);
        WriteTga(stripB_, other);
        cubeA_ = Reference(stripA_, "reference A");
        cubeB_ = Reference(stripB_, "reference B");
    }

    SkyOutcome Convert(const std::filesystem::path& strip, const std::filesystem::path& folder,
                       FileSystem& files = SystemFileSystem()) {
        MemoryHost host;
        return ProcessSky(Utf8FromPath(strip), {host, files, Utf8FromPath(folder / ""), programFolder_}).outcome;
    }
    Cube Reference(const std::filesystem::path& strip, const std::string& name) {
        std::filesystem::create_directories(dir_ / name);
        EXPECT_EQ(Convert(strip, dir_ / name), SkyOutcome::Completed);
        return CubeIn(dir_ / name);
    }
    pid_t ForkedConversion(const std::filesystem::path& strip) {
        return Forked([this, strip] { return Convert(strip, output_) == SkyOutcome::Completed ? 0 : 1; });
    }
    // Which strip's conversion a whole cube, or one of its files, comes from.
    std::string StripOf(const Cube& cube) const {
        return cube == cubeA_ ? "a.tga" : cube == cubeB_ ? "b.tga" : "neither";
    }
    std::string StripOf(const std::vector<std::uint8_t>& file, std::size_t face) const {
        return file == cubeA_[face] ? "a.tga" : file == cubeB_[face] ? "b.tga" : "neither";
    }
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> left;
        for (const auto& name : EntriesIn(output_))
            if (std::find(kCubeFileNames.begin(), kCubeFileNames.end(), name) == kCubeFileNames.end())
                left.push_back(name);
        return left;
    }

    TempDir dir_;
    std::filesystem::path programFolder_ = dir_ / "program";
    std::filesystem::path output_ = dir_ / "shared";
    std::filesystem::path stripA_ = dir_ / "a.tga";
    std::filesystem::path stripB_ = dir_ / "b.tga";
    Cube cubeA_, cubeB_;
};

// The calls that make a file durable, in order: "fsync file", "fsync folder", "rename NAME".
class RecordingCalls final : public SystemCalls {
public:
    std::vector<std::string> log;
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to) override {
        log.push_back(std::string("rename ") + to);
        return SystemCalls::RenameAt(fromFolder, from, toFolder, to);
    }
    int Fsync(int descriptor) override {
        struct stat status {};
        ::fstat(descriptor, &status);
        log.emplace_back(S_ISDIR(status.st_mode) ? "fsync folder" : "fsync file");
        return SystemCalls::Fsync(descriptor);
    }
};

// What a power cut may not undo: each file reaches the disk before it takes a face's name, and
// the folder's names reach it after the last rename.
TEST_F(SafeFilesTest, FilesAreFlushedBeforeTheirRenameAndTheFolderAfterTheLast) {
    for (const TemporaryFiles kind : {TemporaryFiles::UnnamedWherePossible, TemporaryFiles::AlwaysNamed}) {
        SCOPED_TRACE(kind == TemporaryFiles::AlwaysNamed ? "named temporary files" : "unnamed temporary files");
        RecordingCalls calls;
        const std::unique_ptr<FileSystem> files = MakePosixFileSystem(kind, calls);
        ASSERT_EQ(Convert(stripA_, output_, *files), SkyOutcome::Completed);
        int flushedFiles = 0, renamedFaces = 0;
        std::size_t lastRename = 0;
        for (std::size_t i = 0; i < calls.log.size(); ++i) {
            if (calls.log[i] == "fsync file") ++flushedFiles;
            if (!calls.log[i].starts_with("rename ")) continue;
            const std::string name = calls.log[i].substr(7);
            if (std::find(kCubeFileNames.begin(), kCubeFileNames.end(), name) == kCubeFileNames.end()) continue;
            ++renamedFaces;
            lastRename = i;
            EXPECT_GE(flushedFiles, renamedFaces) << name << " renamed before it was flushed";
        }
        EXPECT_EQ(renamedFaces, 6);
        const auto folderFlush = std::find(calls.log.begin() + static_cast<std::ptrdiff_t>(lastRename), calls.log.end(),
                                           std::string("fsync folder"));
        EXPECT_NE(folderFlush, calls.log.end()) << "the folder is not flushed after the last rename";
    }
}

// A killed run's temporary files go with the next conversion into the folder; nothing else does.
TEST_F(SafeFilesTest, OnlyOurOwnTemporaryFilesAreRemoved) {
    const std::vector<std::string> ours = {".F0010001.tga.zenivor-0123456789abcdef.tmp",
                                           ".F0060001.tga.zenivor-fedcba9876543210.tmp"};
    const std::vector<std::string> others = {".notes.txt",
                                             "F0010001.tga.bak",
                                             ".F0010001.tga.swp",
                                             ".draft.zenivor-ideas.tmp",
                                             ".notes.zenivor-0123456789abcdef.tmp",
                                             ".F0010001.tga.zenivor-0123456789ABCDEF.tmp",
                                             ".F0010001.tga.zenivor-0123.tmp",
                                             ".F0010001.tga.zenivor-0123456789abcdef.tmp.keep"};
    for (const auto& name : ours) WriteBytes(output_ / name, {'o', 'l', 'd'});
    for (const auto& name : others) WriteBytes(output_ / name, {'k', 'e', 'e', 'p'});
    ASSERT_EQ(Convert(stripA_, output_), SkyOutcome::Completed);
    std::vector<std::string> expected = others;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Leftovers(), expected);
}

// Without /proc (a chroot, a minimal container) an unnamed file cannot be given a name: the
// files are then written anew under named temporaries, and nothing is left.
class NoProcCalls final : public SystemCalls {
public:
    int LinkAt(int fromFolder, const char* from, int toFolder, const char* to, int flags) override {
        if (std::string_view(from).starts_with("/proc/")) {
            ++refused;
            errno = ENOENT;
            return -1;
        }
        return SystemCalls::LinkAt(fromFolder, from, toFolder, to, flags);
    }
    int refused = 0;
};

TEST_F(SafeFilesTest, WithoutProcTheFilesAreWrittenUnderNamedTemporaries) {
    NoProcCalls calls;
    const std::unique_ptr<FileSystem> files = MakePosixFileSystem(TemporaryFiles::UnnamedWherePossible, calls);
    for (const auto& [strip, cube] : {std::pair{stripA_, &cubeA_}, std::pair{stripB_, &cubeB_}}) {
        ASSERT_EQ(Convert(strip, output_, *files), SkyOutcome::Completed);
        EXPECT_EQ(CubeIn(output_), *cube);
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
    EXPECT_LE(calls.refused, 1) << "tried once, then named from the start";
}

// Paths longer than the kernel takes whole: the folder is opened by its path (shorter than that)
// and each file by its name in it, so the conversion works there as anywhere.
TEST_F(SafeFilesTest, AFolderWhoseFilesPathsAreTooLongForTheKernel) {
    std::filesystem::path deep = dir_.Path();
    while (Utf8FromPath(deep).size() < 4083)
        deep /= std::string(std::min<std::size_t>(200, 4084 - Utf8FromPath(deep).size()), 'd');
    std::filesystem::create_directories(deep);
    ASSERT_GT(Utf8FromPath(deep / "F0010001.tga").size(), std::size_t{PATH_MAX});
    ASSERT_EQ(Convert(stripA_, deep), SkyOutcome::Completed);
    const int folder = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (const char* name : kCubeFileNames) {
        struct stat status {};
        EXPECT_EQ(::fstatat(folder, name, &status, 0), 0) << name;
    }
    ::close(folder);
}

TEST_F(SafeFilesTest, PlantedLinksAreNeitherFollowedNorReplacedThrough) {
    for (const TemporaryFiles kind : {TemporaryFiles::UnnamedWherePossible, TemporaryFiles::AlwaysNamed}) {
        SCOPED_TRACE(kind == TemporaryFiles::AlwaysNamed ? "named temporary files" : "unnamed temporary files");
        const auto victim = dir_ / "victim";
        const std::vector<std::uint8_t> victimBytes = {'m', 'i', 'n', 'e'};
        WriteBytes(victim, victimBytes);
        std::filesystem::remove_all(output_);
        std::filesystem::create_directories(output_);
        // The old fixed temporary names, a name of today's pattern, and a face itself.
        for (const Face face : kAllFaces)
            std::filesystem::create_symlink(victim, output_ / (std::string(FileNameOf(face)) + ".zenivor-0.tmp"));
        std::filesystem::create_symlink(victim, output_ / ".F0020001.tga.zenivor-0123456789abcdef.tmp");
        std::filesystem::create_symlink(victim, output_ / "F0030001.tga");

        ASSERT_EQ(Convert(stripA_, output_, SystemFileSystem(kind)), SkyOutcome::Completed);
        EXPECT_EQ(ReadBytes(victim), victimBytes);
        EXPECT_EQ(CubeIn(output_), cubeA_);
        EXPECT_FALSE(std::filesystem::is_symlink(output_ / "F0030001.tga")) << "the link itself was replaced";
    }
}

TEST_F(SafeFilesTest, ASecondConverterWaitsForTheFirstInTheSameFolder) {
    // The first run pauses between two faces; a second run meanwhile must not mix its files in.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t first = Forked([&] {
        FailingFileSystem files;
        files.Before(Call::Stage, 3, [&] {
            const char ready = 'r';
            if (::write(pipeEnds[1], &ready, 1) != 1) ::_exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        });
        return Convert(stripA_, output_, files) == SkyOutcome::Completed ? 0 : 1;
    });
    char ready = 0;
    ASSERT_EQ(::read(pipeEnds[0], &ready, 1), 1);
    const pid_t second = ForkedConversion(stripB_);
    EXPECT_EQ(Waited(first), 0);
    EXPECT_EQ(Waited(second), 0);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    EXPECT_EQ(CubeIn(output_), cubeB_) << "the second run, having waited, wrote the whole set last";
}

TEST_F(SafeFilesTest, TwoConvertersInOneFolderLeaveOneConsistentSet) {
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const pid_t first = ForkedConversion(round % 2 ? stripA_ : stripB_);
        const pid_t second = ForkedConversion(round % 2 ? stripB_ : stripA_);
        EXPECT_EQ(Waited(first), 0);
        EXPECT_EQ(Waited(second), 0);
        const Cube cube = CubeIn(output_);
        EXPECT_NE(StripOf(cube), "neither") << "the six files come from one strip, cap included";
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
}

// Killed at any moment, a conversion leaves the old set or, once its burst began, a set that the
// next opening of the folder finishes: whole either way, and nothing else after that.
TEST_F(SafeFilesTest, AKilledConversionLeavesTheOldSetOrTheNewOneWhole) {
    ASSERT_EQ(Convert(stripA_, output_), SkyOutcome::Completed);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Convert(stripB_, dir_ / "reference B"), SkyOutcome::Completed);
    const auto oneRun = std::chrono::steady_clock::now() - started;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(oneRun).count());
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const pid_t child = ForkedConversion(round % 2 ? stripA_ : stripB_);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        Waited(child);
        ASSERT_TRUE(FinishLeftCube(SystemFileSystem(), output_));
        EXPECT_NE(StripOf(CubeIn(output_)), "neither");
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
}

// Kills the process just before the nth rename (counting from 1), or before the journal's
// removal that follows the burst (nth 0).
class KillingCalls final : public SystemCalls {
public:
    explicit KillingCalls(int nth) : nth_(nth) {}
    int RenameAt(int fromFolder, const char* from, int toFolder, const char* to) override {
        if (++renames_ == nth_) ::raise(SIGKILL);
        return SystemCalls::RenameAt(fromFolder, from, toFolder, to);
    }
    int UnlinkAt(int folder, const char* name, int flags) override {
        if (nth_ == 0 && IsJournalOf(name, "F0010001.tga")) ::raise(SIGKILL);
        return SystemCalls::UnlinkAt(folder, name, flags);
    }

private:
    int nth_;
    int renames_ = 0;
};

TEST_F(SafeFilesTest, KilledAtEachStepOfTheBurstTheNextOpeningFinishesTheSet) {
    for (const TemporaryFiles kind : {TemporaryFiles::UnnamedWherePossible, TemporaryFiles::AlwaysNamed}) {
        for (int nth = 0; nth <= 6; ++nth) {
            SCOPED_TRACE("killed before rename " + std::to_string(nth) +
                         (kind == TemporaryFiles::AlwaysNamed ? ", named" : ""));
            ASSERT_EQ(Convert(stripA_, output_), SkyOutcome::Completed);
            const pid_t child = Forked([&] {
                KillingCalls calls(nth);
                const std::unique_ptr<FileSystem> files = MakePosixFileSystem(kind, calls);
                return Convert(stripB_, output_, *files) == SkyOutcome::Completed ? 0 : 1;
            });
            ASSERT_EQ(Waited(child), -SIGKILL);
            if (nth > 1 && nth < 6) {  // the last file, the ground, is the same in both sets
                EXPECT_EQ(StripOf(CubeIn(output_)), "neither") << "the burst was cut short";
            }
            ASSERT_TRUE(FinishLeftCube(SystemFileSystem(), output_));
            EXPECT_EQ(CubeIn(output_), cubeB_);
            EXPECT_EQ(Leftovers(), std::vector<std::string>{});
        }
    }
}

TEST_F(SafeFilesTest, GigabytesAfterThePixelsAreNeverRead) {
#if ZENIVOR_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#else
    const auto huge = dir_ / "trailing.tga";
    std::filesystem::copy_file(stripA_, huge);
    std::filesystem::resize_file(huge, std::filesystem::file_size(huge) + (std::uint64_t{4} << 30));  // sparse
    const pid_t child = Forked([&] {
        const rlimit limit{256u << 20, 256u << 20};  // far less than the file, ample for the cube
        if (::setrlimit(RLIMIT_AS, &limit) != 0) return 2;
        return Convert(huge, output_) == SkyOutcome::Completed ? 0 : 1;
    });
    EXPECT_EQ(Waited(child), 0);
    EXPECT_EQ(CubeIn(output_), cubeA_);
#endif
}

}  // namespace
}  // namespace zenivor::test
