// The window's look-around view: one redraw of a 1280 x 800 view of a cube, on every core.
// Usage: bench_lookaround [benchmark options]
#include <benchmark/benchmark.h>

#include "conversion/CubeView.h"

namespace {

using namespace zenivor;

std::array<RgbImage, 6> NoiseCube() {
    std::array<RgbImage, 6> faces;
    std::uint32_t state = 12345;
    for (RgbImage& face : faces) {
        face = RgbImage::Unfilled(kFaceSize, kFaceSize);
        for (auto& byte : face.pixels) byte = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    }
    return faces;
}

// Across a cube's edge and corner, and straight at a face, as a user turns round.
void BM_LookAround1280x800(benchmark::State& state) {
    const CubeLookAround cube(NoiseCube());
    RgbImage view = RgbImage::Unfilled(1280, 800);
    const ViewAngles angles[] = {{0, 0, 90}, {45, 20, 100}, {130, -35, 75}, {-60, 80, 120}};
    std::size_t frame = 0;
    for (auto _ : state) {
        cube.Render(angles[frame++ % std::size(angles)], view);
        benchmark::DoNotOptimize(view.pixels.data());
    }
}
BENCHMARK(BM_LookAround1280x800)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
