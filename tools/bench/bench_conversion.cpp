// In-process timings: the whole 2016 conversion and the floor of the same file work with the
// same durability. Usage: bench_conversion [benchmark options]; the bundled sample lies
// beside the programs.
#include <benchmark/benchmark.h>

#include "conversion/ProcessSky.h"
#include "tools/bench/Floor.h"
#include "util/ProgramFolder.h"

namespace {

using namespace zenivor;

std::filesystem::path ProgramsFolder() { return ProgramFolder().parent_path() / "bin"; }
std::string Sample() { return Utf8FromPath(ProgramsFolder() / "samples" / "sky-2016.tga"); }
std::filesystem::path Scratch(const char* name) {
    auto folder = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(folder);
    return folder;
}

// The conversion with temporary files made as the file system allows: unnamed (O_TMPFILE)
// where it can, or always under an unpredictable name.
void ConvertRepeatedly(benchmark::State& state, TemporaryFiles temporaries) {
    MemoryHost host;
    const SkyContext context{host, SystemFileSystem(temporaries), Utf8FromPath(Scratch("zenivor-bench-sky") / ""),
                             ProgramsFolder()};
    const std::string strip = Sample();
    for (auto _ : state)
        if (ProcessSky(strip, context).outcome != SkyOutcome::Completed) state.SkipWithError(host.Status().c_str());
}

void BM_ProcessSky2016(benchmark::State& state) { ConvertRepeatedly(state, TemporaryFiles::UnnamedWherePossible); }
BENCHMARK(BM_ProcessSky2016)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProcessSky2016NamedTemporaries(benchmark::State& state) {
    ConvertRepeatedly(state, TemporaryFiles::AlwaysNamed);
}
BENCHMARK(BM_ProcessSky2016NamedTemporaries)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DurableFloor(benchmark::State& state) {
    const auto folder = Scratch("zenivor-bench-floor");
    const std::string strip = Sample();
    for (auto _ : state)
        if (!bench::RunFloor(strip, folder, true)) state.SkipWithError("floor failed");
}
BENCHMARK(BM_DurableFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
