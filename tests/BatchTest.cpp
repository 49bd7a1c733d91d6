// zenivor-convert --batch: every strip into its own folder, as single runs would write it, with
// failures, usage errors, progress and many threads, run in process.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "cli/Batch.h"
#include "cli/Console.h"
#include "cli/ConvertCommand.h"
#include "cli/Signals.h"
#include "tests/ConverterRun.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

constexpr const char* kClearLine = "\r\x1b[2K";

// A strip that differs from every other of its size: its first column is stamped with seed,
// so a face written from the wrong strip shows.
RgbImage StampedStrip(int width, int seed) {
    RgbImage image = CoordinateImage(width, 504);
    for (int y = 0; y < 504; ++y)
        image.Set(0, y, Rgb{static_cast<std::uint8_t>(seed), static_cast<std::uint8_t>(seed * 7), 0});
    return image;
}

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(program_);
        WriteTga(program_ / "F0060001.tga", CoordinateImage(504, 504));
    }

    Outcome Run(const std::vector<std::string>& arguments, bool terminal = false) {
        return RunConverter(arguments, {.programFolder = program_, .terminal = terminal});
    }

    // Writes a strip under the test's folder and returns its path (UTF-8).
    std::string Strip(const std::string& name, int width, int seed = 0) {
        const auto path = dir_ / name;
        std::filesystem::create_directories(path.parent_path());
        WriteTga(path, StampedStrip(width, seed));
        return Utf8FromPath(path);
    }

    // The six files as a single run writes them for strip, with the extra options.
    std::vector<std::vector<std::uint8_t>> SingleRun(const std::string& strip,
                                                     const std::vector<std::string>& options = {}) {
        const auto folder = dir_ / "single" / std::to_string(singleRuns_++);
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {strip, Utf8FromPath(folder)});
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.status, kExitConverted) << outcome.err;
        return CubeBytesIn(folder);
    }

    static std::vector<std::vector<std::uint8_t>> CubeBytesIn(const std::filesystem::path& folder) {
        std::vector<std::vector<std::uint8_t>> files;
        for (const char* name : kCubeFileNames)
            files.push_back(std::filesystem::exists(folder / name) ? ReadBytes(folder / name)
                                                                   : std::vector<std::uint8_t>{});
        return files;
    }

    // The failure lines a single run prints for strip, as the batch puts them on one line.
    std::string SingleRunFailure(const std::string& strip) {
        const Outcome outcome = Run({strip, Utf8FromPath(dir_ / "single-failure")});
        EXPECT_EQ(outcome.status, kExitFailed);
        std::string joined;
        std::istringstream lines(outcome.err);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_TRUE(line.starts_with("zenivor-convert: ")) << line;
            joined += (joined.empty() ? "" : "; ") + line.substr(std::string("zenivor-convert: ").size());
        }
        return joined;
    }

    TempDir dir_;
    std::filesystem::path program_ = dir_ / "program";
    std::filesystem::path root_ = dir_ / "cubes";
    std::string rootText_ = Utf8FromPath(root_);
    int singleRuns_ = 0;
};

bool EndsWithSummary(const std::string& err, const std::string& counts) {
    return std::regex_search(err, std::regex("zenivor-convert: " + counts + " in [0-9]+\\.[0-9] s\n$"));
}

TEST_F(BatchTest, EveryStripGoesIntoItsOwnFolderAsASingleRunWritesIt) {
    const std::vector<std::string> strips = {Strip("in/narrow.tga", 504, 1), Strip("in/middle.tga", 1008, 2),
                                             Strip("in/wide.tga", 2016, 3), Strip("other/wide-too.tga", 2016, 4)};
    std::vector<std::string> arguments = {"--batch", rootText_};
    arguments.insert(arguments.end(), strips.begin(), strips.end());
    const Outcome outcome = Run(arguments);
    ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
    EXPECT_TRUE(EndsWithSummary(outcome.err, "converted 4 of 4 strips")) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << "only the summary: " << outcome.err;
    EXPECT_EQ(EntriesIn(root_), (std::vector<std::string>{"middle", "narrow", "wide", "wide-too"}));
    for (const std::string& strip : strips) {
        const auto folder = root_ / PathFromUtf8(strip).stem();
        EXPECT_EQ(EntriesIn(folder), CubeFilesIn(folder)) << "nothing but the cube in " << folder;
        EXPECT_EQ(CubeBytesIn(folder), SingleRun(strip)) << strip;
    }
}

TEST_F(BatchTest, ConversionOptionsApplyToEveryStrip) {
    const auto panorama = [&](const std::string& name, int seed) {
        WriteTga(dir_ / name, StampedStrip(1008, seed));  // 1008 x 504 is also a 2:1 panorama
        return Utf8FromPath(dir_ / name);
    };
    const auto oddSize = [&](const std::string& name, int seed) {
        RgbImage image = CoordinateImage(600, 300);
        image.Set(0, 0, Rgb{static_cast<std::uint8_t>(seed), 0, 0});
        WriteTga(dir_ / name, image);
        return Utf8FromPath(dir_ / name);
    };
    const struct {
        std::vector<std::string> options;
        std::vector<std::string> strips;
    } rows[] = {
        {{"--fit"}, {oddSize("fit-a.tga", 1), oddSize("fit-b.tga", 2)}},
        {{"--equirect"}, {panorama("sphere-a.tga", 3), panorama("sphere-b.tga", 4)}},
        {{"--equirect", "--north", "90", "--ground", "template"}, {panorama("turned-a.tga", 5)}},
    };
    for (const auto& row : rows) {
        std::filesystem::remove_all(root_);
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {"--batch", rootText_});
        arguments.insert(arguments.end(), row.strips.begin(), row.strips.end());
        const Outcome outcome = Run(arguments);
        ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
        for (const std::string& strip : row.strips)
            EXPECT_EQ(CubeBytesIn(root_ / PathFromUtf8(strip).stem()), SingleRun(strip, row.options))
                << ::testing::PrintToString(row.options) << " " << strip;
    }
}

TEST_F(BatchTest, AFailedStripIsReportedByNameAndTheOthersGoOn) {
    const std::string first = Strip("first.tga", 504, 1);
    const std::string last = Strip("last.tga", 504, 2);
    WriteTga(dir_ / "small.tga", CoordinateImage(100, 100));
    WriteBytes(dir_ / "text.tga", {'h', 'e', 'l', 'l', 'o'});
    const std::string rows[] = {Utf8FromPath(dir_ / "missing.tga"), Utf8FromPath(dir_ / "small.tga"),
                                Utf8FromPath(dir_ / "text.tga")};
    const auto firstCube = SingleRun(first), lastCube = SingleRun(last);
    for (const std::string& bad : rows) {
        std::filesystem::remove_all(root_);
        // A cube converted earlier stands where the failed strip would go; it must stay as it was.
        const auto badFolder = root_ / PathFromUtf8(bad).stem();
        std::filesystem::create_directories(badFolder);
        WriteBytes(badFolder / "F0010001.tga", {1, 2, 3});
        for (const char* jobs : {"1", "3"}) {
            const Outcome outcome = Run({"--batch", rootText_, "-j", jobs, first, bad, last});
            EXPECT_EQ(outcome.status, kExitFailed) << bad;
            EXPECT_NE(outcome.err.find("zenivor-convert: " + bad + ": " + SingleRunFailure(bad) + "\n"),
                      std::string::npos)
                << outcome.err;
            EXPECT_TRUE(EndsWithSummary(outcome.err, "converted 2 of 3 strips, 1 failed,")) << outcome.err;
            EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 2) << outcome.err;
            EXPECT_EQ(CubeBytesIn(root_ / "first"), firstCube);
            EXPECT_EQ(CubeBytesIn(root_ / "last"), lastCube);
            EXPECT_EQ(EntriesIn(badFolder), std::vector<std::string>{"F0010001.tga"});
            EXPECT_EQ(ReadBytes(badFolder / "F0010001.tga"), (std::vector<std::uint8_t>{1, 2, 3}));
        }
    }
}

TEST_F(BatchTest, AStripThatFailsLeavesNoEmptyFolder) {
    const Outcome outcome = Run({"--batch", rootText_, Strip("good.tga", 504), Utf8FromPath(dir_ / "gone.tga")});
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_EQ(EntriesIn(root_), std::vector<std::string>{"good"});
}

TEST_F(BatchTest, AnOutputRootThatCannotBeMadeFailsTheBatch) {
    WriteBytes(dir_ / "plain-file", {0});
    const Outcome outcome = Run({"--batch", Utf8FromPath(dir_ / "plain-file" / "cubes"), Strip("good.tga", 504)});
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_TRUE(outcome.err.starts_with("zenivor-convert: cannot create the output folder " +
                                        Utf8FromPath(dir_ / "plain-file" / "cubes") + ": "))
        << outcome.err;
}

TEST_F(BatchTest, OneJobAndFourJobsWriteTheSameFiles) {
    std::vector<std::string> strips;
    for (int i = 0; i < 6; ++i) strips.push_back(Strip("s" + std::to_string(i) + ".tga", i % 2 ? 504 : 1008, i));
    std::vector<std::vector<std::vector<std::uint8_t>>> cubes[2];
    const char* jobs[] = {"-j1", "--jobs=4"};
    for (int run = 0; run < 2; ++run) {
        std::filesystem::remove_all(root_);
        std::vector<std::string> arguments = {"--batch", rootText_, jobs[run]};
        arguments.insert(arguments.end(), strips.begin(), strips.end());
        ASSERT_EQ(Run(arguments).status, kExitConverted) << jobs[run];
        for (const std::string& strip : strips) cubes[run].push_back(CubeBytesIn(root_ / PathFromUtf8(strip).stem()));
    }
    EXPECT_EQ(cubes[0], cubes[1]);
    for (const auto& cube : cubes[0])
        for (const auto& file : cube) EXPECT_EQ(file.size(), 762066u);
}

TEST_F(BatchTest, UsageErrorsAreFoundBeforeAnythingIsConverted) {
    const std::string a = Strip("a/sky.tga", 504);
    const std::string b = Strip("b/sky.png", 504);  // its contents do not matter: it is never read
    const std::string c = Strip("c.tga", 504);
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } rows[] = {
        {{"--batch", rootText_}, "no strip given"},
        {{"--batch", rootText_, "-j", "0", c}, "--jobs needs"},
        {{"--batch", rootText_, "-j", "x", c}, "--jobs needs"},
        {{"--batch", rootText_, "-j2x", c}, "--jobs needs"},
        {{"--batch", rootText_, "--jobs=-1", c}, "--jobs needs"},
        {{"--batch", rootText_, c, "-j"}, "--jobs needs"},
        {{"--batch", rootText_, "--jobs", "99999999999", c}, "--jobs needs"},
        {{"--batch=", c}, "--batch needs an output folder"},
        {{c, "--batch"}, "--batch needs an output folder"},
        {{"-j", "2", c, rootText_}, "--jobs needs --batch"},
        {{"--batch", rootText_, c, "-"}, "- (standard input) is for a single strip"},
        {{"--batch", rootText_, "--preview", Utf8FromPath(dir_ / "p.png"), c}, "--preview is for a single strip"},
        {{"--batch", rootText_, c, a, b},
         "the strips " + a + " and " + b + " would both be written into " + Utf8FromPath(root_ / "sky")},
        {{"--batch", rootText_, a, c, a}, "the strips " + a + " and " + a + " would both"},
        {{"--batch", rootText_, c, Utf8FromPath(dir_ / "..")},
         "the strip " + Utf8FromPath(dir_ / "..") + " has no file name to name its folder"},
    };
    for (const auto& row : rows) {
        const Outcome outcome = Run(row.arguments);
        EXPECT_EQ(outcome.status, kExitUsage) << ::testing::PrintToString(row.arguments);
        EXPECT_TRUE(outcome.err.starts_with("zenivor-convert: " + row.message)) << outcome.err;
        EXPECT_FALSE(std::filesystem::exists(root_)) << ::testing::PrintToString(row.arguments);
        EXPECT_FALSE(std::filesystem::exists(dir_ / "p.png"));
    }
}

TEST_F(BatchTest, VerbosePutsTheStripsNameBeforeEachStep) {
    const std::string one = Strip("one.tga", 504, 1);
    const std::string two = Strip("two.tga", 2016, 2);
    const Outcome outcome = Run({"--batch", rootText_, "-v", "-j", "2", one, two});
    ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
    for (const std::string& strip : {one, two})
        for (const char* step : {"Saving South", "Saving ground", "AllDone"})
            EXPECT_NE(outcome.err.find("zenivor-convert: " + strip + ": " + step + "\n"), std::string::npos)
                << strip << " " << step << "\n"
                << outcome.err;
}

// Every line that ends is a message of its own: whatever progress was drawn on it was cleared first.
void ExpectNoMixedLines(const std::string& err) {
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        const auto cleared = line.rfind(kClearLine);
        const std::string message =
            cleared == std::string::npos ? line : line.substr(cleared + std::string(kClearLine).size());
        EXPECT_TRUE(message.starts_with("zenivor-convert: ")) << line;
        EXPECT_EQ(message.find('\r'), std::string::npos) << line;
        EXPECT_EQ(message.find("] "), std::string::npos) << "a progress line left in " << line;
    }
}

TEST_F(BatchTest, ProgressIsShownOnATerminalOnlyAndNotWhenQuiet) {
    std::vector<std::string> strips;
    for (int i = 0; i < 16; ++i) strips.push_back(Strip("p" + std::to_string(i) + ".tga", 504, i));
    const std::string missing = Utf8FromPath(dir_ / "missing.tga");
    strips.insert(strips.begin() + 3, missing);
    const auto run = [&](std::vector<std::string> options, bool terminal) {
        options.insert(options.end(), {"--batch", rootText_, "-j", "1"});
        options.insert(options.end(), strips.begin(), strips.end());
        std::filesystem::remove_all(root_);
        return Run(options, terminal);
    };
    const std::string failure = "zenivor-convert: " + missing + ": ";

    const Outcome shown = run({}, true);
    EXPECT_EQ(shown.status, kExitFailed);
    EXPECT_TRUE(std::regex_search(shown.err, std::regex("\r\x1b\\[2Kzenivor-convert: \\[[#-]{24}\\] [0-9]+/17 strips")))
        << shown.err;
    // Once a strip is done, the rate and the time left.
    EXPECT_TRUE(std::regex_search(shown.err, std::regex("\\] [0-9]+/17 strips, [0-9]+\\.[0-9]/s, [0-9].* left")))
        << shown.err;
    EXPECT_NE(shown.err.find(failure), std::string::npos);
    EXPECT_TRUE(EndsWithSummary(shown.err, "converted 16 of 17 strips, 1 failed,")) << shown.err;
    ExpectNoMixedLines(shown.err);

    for (const auto& [options, terminal] : {std::pair{std::vector<std::string>{"-q"}, true}, {{"--quiet"}, false}}) {
        const Outcome quiet = run(options, terminal);
        EXPECT_EQ(quiet.status, kExitFailed);
        EXPECT_TRUE(quiet.err.starts_with(failure)) << quiet.err;
        EXPECT_EQ(std::count(quiet.err.begin(), quiet.err.end(), '\n'), 1) << "the failure alone: " << quiet.err;
        EXPECT_EQ(quiet.err.find('\r'), std::string::npos) << quiet.err;
    }

    const Outcome piped = run({}, false);
    EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
    EXPECT_EQ(piped.err.find('\x1b'), std::string::npos) << piped.err;
    EXPECT_TRUE(EndsWithSummary(piped.err, "converted 16 of 17 strips, 1 failed,")) << piped.err;
}

TEST(BatchLinesTest, ProgressLineShowsCountRateAndTimeLeft) {
    const struct {
        std::size_t done, total;
        double seconds;
        std::string line;
    } rows[] = {
        {0, 200, 0.0, "[------------------------] 0/200 strips"},
        {0, 200, 3.0, "[------------------------] 0/200 strips"},  // no rate yet, so no time left
        {50, 200, 2.0, "[######------------------] 50/200 strips, 25.0/s, 6 s left"},
        {1, 3, 0.4, "[########----------------] 1/3 strips, 2.5/s, 1 s left"},  // 0.8 s rounds up
        {1, 1000, 1.0, "[------------------------] 1/1000 strips, 1.0/s, 16 min 39 s left"},
        {2, 10000, 3.0, "[------------------------] 2/10000 strips, 0.7/s, 4 h 09 min left"},
        {1, 1, 0.5, "[########################] 1/1 strip, 2.0/s, 0 s left"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BatchProgressLine(row.done, row.total, row.seconds), row.line) << row.done << "/" << row.total;
}

TEST(BatchLinesTest, SummarySaysHowManyFailed) {
    const struct {
        std::size_t converted, total;
        double seconds;
        std::string line;
    } rows[] = {
        {200, 200, 6.14, "converted 200 of 200 strips in 6.1 s"},
        {198, 200, 6.06, "converted 198 of 200 strips, 2 failed, in 6.1 s"},
        {0, 1, 0.01, "converted 0 of 1 strip, 1 failed, in 0.0 s"},
        {5000, 5000, 125.0, "converted 5000 of 5000 strips in 2 min 05 s"},
    };
    for (const auto& row : rows) EXPECT_EQ(BatchSummaryLine(row.converted, row.total, row.seconds), row.line);
}

// Workers are bounded by the strips, by four a hardware thread, and by the open-file limit at
// eight descriptors a conversion beyond 32 of the program's own.
TEST(BatchLinesTest, WorkersAreBoundedByStripsThreadsAndOpenFiles) {
    const struct {
        std::size_t jobs, strips, threads;
        std::uint64_t openFiles;
        std::size_t workers;
    } rows[] = {
        {5000, 2, 2, 1024, 2},        {4, 40, 2, 1024, 4},    {1, 40, 2, 1024, 1}, {10000, 2000, 2, 1024, 8},
        {10000, 2000, 64, 1024, 124}, {100, 100, 64, 100, 8}, {8, 8, 0, 1024, 4},  {0, 3, 2, 1024, 1},
        {3, 0, 2, 1024, 1},           {16, 16, 2, 20, 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(BatchWorkerCount(row.jobs, row.strips, row.threads, row.openFiles), row.workers)
            << row.jobs << " jobs, " << row.strips << " strips, " << row.threads << " threads, " << row.openFiles
            << " files";
}

TEST(BatchLinesTest, AStoppedBatchSaysWhatItDidAndWhy) {
    EXPECT_EQ(BatchStoppedLine(5, 7, 200, 1.24, "SIGINT"),
              "converted 5 of 200 strips, 2 failed, 193 not started: stopped by SIGINT in 1.2 s");
    EXPECT_EQ(BatchStoppedLine(1, 1, 1, 0.5, "SIGTERM"),
              "converted 1 of 1 strip, 0 not started: stopped by SIGTERM in 0.5 s");
}

// Many small conversions on more threads than cores: each strip's faces come from it alone.
TEST_F(BatchTest, FortyStripsOnEightThreadsAreEachConvertedFromTheirOwnStrip) {
    constexpr int kStrips = 40;
    std::vector<std::string> arguments = {"--batch", rootText_, "-j", "8", "-q"};
    for (int i = 0; i < kStrips; ++i) arguments.push_back(Strip("many/" + std::to_string(i) + ".tga", 504, i + 1));
    const Outcome outcome = Run(arguments);
    ASSERT_EQ(outcome.status, kExitConverted) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const auto reference = SingleRun(arguments[5]);
    for (int i = 0; i < kStrips; ++i) {
        const auto folder = root_ / std::to_string(i);
        ASSERT_EQ(CubeFilesIn(folder).size(), 6u) << folder;
        // For a 504 strip North is the strip itself.
        const RgbImage north = ReadTga(folder / "F0010001.tga");
        const RgbImage strip = StampedStrip(504, i + 1);
        ASSERT_EQ(north.At(0, 10), strip.At(0, 10)) << "strip " << i;
        ASSERT_EQ(north.At(300, 200), strip.At(300, 200)) << "strip " << i;
        if (i == 0) {
            EXPECT_EQ(CubeBytesIn(folder), reference);
        }
    }
}

// A batch's first signal is said before the batch hears of it (told, it may print its summary
// and end at once), and a signal after the console is gone says nothing to it. In a child
// process: the signals are the process's, and the second one ends it.
TEST(ConverterSignalsDeathTest, TheStopIsSaidBeforeTheBatchHearsOfItAndNothingAfterTheConsoleIsGone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto stopThenEnd = [] {
        Console console(std::cerr);
        auto signals = std::make_unique<ConverterSignals>(console);
        ConvertingBatch();
        ::kill(::getpid(), SIGINT);
        while (BatchStopSignal() == 0) std::this_thread::yield();
        std::cerr << "the batch heard\n";
        signals.reset();
        std::cerr << "the console is gone\n";
        ::kill(::getpid(), SIGTERM);
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    };
    EXPECT_EXIT(stopThenEnd(), ::testing::ExitedWithCode(128 + SIGTERM),
                "^zenivor-convert: stopping after the strips being converted; SIGINT again stops at once\n"
                "the batch heard\nthe console is gone\n$");
}

}  // namespace
}  // namespace zenivor::test
