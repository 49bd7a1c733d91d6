// In-process timings: the whole 2016 conversion and the floor of the same file work with the
// same durability, and the projection of a panorama alone. Usage: bench_conversion [benchmark
// options]; the bundled sample lies beside the programs.
#include <benchmark/benchmark.h>

#include "conversion/Equirect.h"
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

// The six faces of a panorama of detail at every scale, `state.range(0)` wide: the filter's
// own cost, without decoding or writing (a 4096-wide one is what an 8192 JPEG decodes to).
void BM_ProjectPanorama(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    RgbImage panorama = RgbImage::Unfilled(width, width / 2);
    for (int y = 0; y < panorama.height; ++y)
        for (int x = 0; x < width; ++x)
            panorama.Set(x, y,
                         {static_cast<std::uint8_t>(x * 7 + y), static_cast<std::uint8_t>(x ^ y),
                          static_cast<std::uint8_t>((x / 3) * (y / 5))});
    for (auto _ : state) benchmark::DoNotOptimize(ProjectPanorama(panorama));
}
BENCHMARK(BM_ProjectPanorama)->Arg(1024)->Arg(4096)->Arg(8192)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
