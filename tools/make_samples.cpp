// Makes the ground template F0060001.tga and sample panorama strips 504, 1008 and 2016 wide.
// The panorama is defined on the whole horizon (azimuth 0 to 1), so each width shows the same
// scene and the strip wraps around without a seam: a sun, clouds, a mountain ridge on the
// horizon and a lake below, so that a misplaced face shows at a glance.
//
// Usage: make_samples OUTPUT-FOLDER

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/ImageFiles.h"
#include "imaging/RgbImage.h"
#include "util/FileSystem.h"

namespace {

using namespace zenivor;

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double Lattice(int x, int y, int period, std::uint32_t seed) {
    const int wrapped = ((x % period) + period) % period;
    return (Hash(static_cast<std::uint32_t>(wrapped), static_cast<std::uint32_t>(y), seed) & 0xFFFF) / 65535.0;
}

double Smooth(double t) { return t * t * (3 - 2 * t); }

// Value noise that repeats every period cells across.
double Noise(double x, double y, int period, std::uint32_t seed) {
    const int ix = static_cast<int>(std::floor(x));
    const int iy = static_cast<int>(std::floor(y));
    const double fx = Smooth(x - ix);
    const double fy = Smooth(y - iy);
    const double top = Lattice(ix, iy, period, seed) * (1 - fx) + Lattice(ix + 1, iy, period, seed) * fx;
    const double bottom = Lattice(ix, iy + 1, period, seed) * (1 - fx) + Lattice(ix + 1, iy + 1, period, seed) * fx;
    return top * (1 - fy) + bottom * fy;
}

// Fractal noise over u in [0, 1), seamless where u wraps.
double Fbm(double u, double v, int cells, int octaves, std::uint32_t seed) {
    double sum = 0;
    double weight = 0.5;
    double total = 0;
    for (int octave = 0; octave < octaves; ++octave, cells *= 2) {
        sum += weight * Noise(u * cells, v * cells, cells, seed + static_cast<std::uint32_t>(octave));
        total += weight;
        weight *= 0.5;
    }
    return sum / total;
}

constexpr double kHorizon = 0.62;  // fraction of the height, from the top

double RidgeHeight(double u) { return 0.015 + 0.22 * std::pow(Fbm(u, 0.5, 6, 5, 11), 2.0); }

Colour SkyAt(double u, double v) {
    const Colour zenith{28, 64, 140};
    const Colour horizon{170, 200, 230};
    Colour colour = Mix(zenith, horizon, std::pow(v / kHorizon, 1.4));
    // The sun stands in the North-East, a third of the way up.
    const double du = std::remainder(u - 0.40, 1.0) * 4.0;  // one face is 1 unit across
    const double dv = v - 0.30;
    const double distance = std::sqrt(du * du + dv * dv);
    colour = Mix(colour, Colour{255, 236, 190}, 0.55 * std::exp(-distance * 3.0));
    if (distance < 0.07) colour = Colour{255, 250, 225};
    // Clouds, thinning towards the horizon.
    const double cloud = Fbm(u, v * 0.35, 8, 5, 3);
    const double density = std::clamp((cloud - 0.52) * 4.0, 0.0, 1.0) * (1.0 - v / kHorizon * 0.6);
    return Mix(colour, Colour{248, 248, 252}, density);
}

Colour BelowHorizonAt(double u, double v) {
    const double depth = (v - kHorizon) / (1.0 - kHorizon);
    const double ripple = Fbm(u, v * 3.0, 24, 3, 21);
    const Colour near{18, 46, 60};
    const Colour far{80, 120, 140};
    return Mix(Mix(far, near, depth), Colour{200, 215, 225}, (ripple - 0.5) * 0.4);
}

Colour PanoramaAt(double u, double v) {
    const double ridgeTop = kHorizon - RidgeHeight(u);
    if (v < ridgeTop) return SkyAt(u, v);
    if (v < kHorizon) {
        const double shade = Fbm(u, v, 40, 3, 7);
        const Colour rock{70 + 40 * shade, 78 + 36 * shade, 72 + 30 * shade};
        const double snow = std::clamp((kHorizon - v - 0.11) * 30.0, 0.0, 1.0);
        return Mix(rock, Colour{235, 238, 245}, snow);
    }
    return BelowHorizonAt(u, v);
}

Colour GroundAt(double u, double v) {
    const double soil = Fbm(u, v, 8, 6, 31);
    const double grass = Fbm(u, v, 32, 3, 41);
    const Colour earth = Mix(Colour{86, 64, 40}, Colour{138, 110, 74}, soil);
    return Mix(earth, Colour{64, 102, 44}, std::clamp((grass - 0.45) * 3.0, 0.0, 1.0));
}

template <typename Paint>
bool WriteImage(const std::filesystem::path& path, int width, int height, Paint paint) {
    RgbImage image = RgbImage::Unfilled(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Colour c = paint((x + 0.5) / width, (y + 0.5) / height);
            image.Set(x, y,
                      {static_cast<std::uint8_t>(std::clamp(c.r, 0.0, 255.0)),
                       static_cast<std::uint8_t>(std::clamp(c.g, 0.0, 255.0)),
                       static_cast<std::uint8_t>(std::clamp(c.b, 0.0, 255.0))});
        }
    FileSystem& files = SystemFileSystem();
    Result<OutputFolder> folder = files.OpenFolderFor(path.parent_path(), Utf8FromPath(path.filename()));
    Result<void> saved =
        folder ? WriteTga(files, *folder, Utf8FromPath(path.filename()), image) : Result<void>(folder.Error());
    if (!saved)
        std::fprintf(stderr, "make_samples: cannot write %s (%s)\n", path.c_str(), Reason(saved.Error()).c_str());
    return static_cast<bool>(saved);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTPUT-FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder / "samples", error);
    bool ok = WriteImage(folder / "F0060001.tga", 504, 504, GroundAt);
    for (const int width : {504, 1008, 2016})
        ok = WriteImage(folder / "samples" / ("sky-" + std::to_string(width) + ".tga"), width, 504, PanoramaAt) && ok;
    return ok ? 0 : 1;
}
