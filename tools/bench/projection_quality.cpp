// How close the panorama projection comes to the exact answer: analytic panoramas (smooth waves,
// waves with hard-edged discs, a 2-pixel checkerboard, and a large JPEG of the waves), each face
// pixel's truth the mean of the known function over the pixel's own square on the face (dense
// supersampling of the function, not of the raster), and the six faces scored as PSNR against
// it. Beside Zenivor's projection, three plain samplers of the same raster show what
// interpolating tools reach: bilinear and Catmull-Rom at the pixel's centre, and a 4 x 4
// supersampling of bilinear reads. Also the seams: the RMS step from a face's edge pixel to its
// neighbour across the cube's edge, against the step to the next pixel inside.
// Usage: projection_quality [--zenivor-only] [--faces] [--map] [--truths=FOLDER] [TEST...]   (tests: smooth4096
// jpeg8192 checker8192 waves1024 discs1024 discs4096; default all). --truths keeps the truths in
// FOLDER for the next run; --zenivor-only leaves out the plain samplers; --faces adds
// Zenivor's score on each face, --map on blocks of North and of the sky cap. A full run takes
// about five minutes on two cores.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

// After <cstdio>, which it needs.
#include <jpeglib.h>

#include "conversion/Equirect.h"
#include "formats/ImageFormats.h"
#include "util/FileSystem.h"
#include "util/Parallel.h"

namespace {

using namespace zenivor;

struct Vec3 {
    double x, y, z;
};
double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Unit(Direction d) {
    const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return {d.x / length, d.y / length, d.z / length};
}

using Colour = std::array<double, 3>;  // red, green, blue, 0 to 255

// A function on the sphere, of the unit vector toward longitude lon (from the panorama's left
// edge) and latitude lat: (cos lat cos lon, cos lat sin lon, sin lat). Region tells apart the
// pieces between its hard edges (0 where it has none).
class Scene {
public:
    virtual ~Scene() = default;
    virtual Colour Value(Vec3 p) const = 0;
    virtual int Region(Vec3 p) const = 0;
    // The exact mean over pixel (x, y) of a raster `width` wide, for a scene that knows it.
    virtual std::optional<Colour> PixelMean(int /*x*/, int /*y*/, int /*width*/) const { return std::nullopt; }
};

constexpr double kPi = std::numbers::pi;

// Plane waves over the sphere, from 0.35 down to 0.035 radians long (about nine face pixels at a
// face's centre), weaker as they get shorter, as in photographs.
class Waves : public Scene {
public:
    Waves() {
        std::mt19937 random(2024);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        const double lengths[] = {0.35, 0.2, 0.12, 0.08, 0.05, 0.035};
        const double amplitudes[] = {38, 30, 20, 14, 10, 8};
        for (int k = 0; k < 6; ++k) {
            Vec3 n{unit(random), unit(random), unit(random)};
            const double length = std::sqrt(Dot(n, n));
            n = {n.x / length, n.y / length, n.z / length};
            Wave wave{n, 2 * kPi / lengths[k], kPi * unit(random), {}};
            for (double& a : wave.amplitude) a = amplitudes[k] * unit(random);
            waves_.push_back(wave);
        }
    }
    Colour Value(Vec3 p) const override {
        Colour c{127.5, 127.5, 127.5};
        for (const Wave& w : waves_) {
            const double s = std::sin(w.omega * Dot(w.n, p) + w.phase);
            for (int i = 0; i < 3; ++i) c[i] += w.amplitude[i] * s;
        }
        return c;
    }
    int Region(Vec3) const override { return 0; }

private:
    struct Wave {
        Vec3 n;
        double omega, phase;
        std::array<double, 3> amplitude;
    };
    std::vector<Wave> waves_;
};

// The waves under flat discs (caps of the sphere, 0.05 to 0.3 radians across the radius), two
// of them at the poles.
class WavesAndDiscs : public Waves {
public:
    WavesAndDiscs() {
        std::mt19937 random(77);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        std::uniform_real_distribution<double> level(20, 235);
        discs_.push_back({{0, 0, 1}, std::cos(0.12), {level(random), level(random), level(random)}});
        discs_.push_back({{0.3, 0, -std::sqrt(0.91)}, std::cos(0.2), {level(random), level(random), level(random)}});
        for (int k = 0; k < 14; ++k) {
            Vec3 n{unit(random), unit(random), 0.6 * unit(random)};
            const double length = std::sqrt(Dot(n, n));
            n = {n.x / length, n.y / length, n.z / length};
            const double radius = 0.05 + 0.25 * (k % 5) / 4.0;
            discs_.push_back({n, std::cos(radius), {level(random), level(random), level(random)}});
        }
    }
    Colour Value(Vec3 p) const override {
        const int region = Region(p);
        return region == 0 ? Waves::Value(p) : discs_[static_cast<std::size_t>(region - 1)].colour;
    }
    int Region(Vec3 p) const override {
        for (std::size_t k = 0; k < discs_.size(); ++k)
            if (Dot(discs_[k].centre, p) > discs_[k].cosRadius) return static_cast<int>(k) + 1;
        return 0;
    }

private:
    struct Disc {
        Vec3 centre;
        double cosRadius;
        Colour colour;
    };
    std::vector<Disc> discs_;
};

// Black and white squares of 2 x 2 pixels of a panorama `width` wide.
class Checkerboard : public Scene {
public:
    explicit Checkerboard(int width) : width_(width) {}
    Colour Value(Vec3 p) const override {
        const double v = Region(p) == 0 ? 0.0 : 255.0;
        return {v, v, v};
    }
    // Its squares' edges lie on the pixels' edges, so each pixel lies in one square.
    std::optional<Colour> PixelMean(int x, int y, int width) const override {
        if (width != width_) return std::nullopt;
        const double v = ((x / 2 + y / 2) & 1) == 0 ? 0.0 : 255.0;
        return Colour{v, v, v};
    }
    int Region(Vec3 p) const override {
        double longitude = std::atan2(p.y, p.x);
        if (longitude < 0) longitude += 2 * kPi;
        const double latitude = std::atan2(p.z, std::hypot(p.x, p.y));
        const auto u = static_cast<long>(std::floor(longitude / (2 * kPi) * width_ / 2));
        const auto v = static_cast<long>(std::floor((0.5 - latitude / kPi) * width_ / 4));
        return static_cast<int>((u + v) & 1);
    }

private:
    int width_;
};

Vec3 PanoramaVector(double longitude, double latitude) {
    return {std::cos(latitude) * std::cos(longitude), std::cos(latitude) * std::sin(longitude), std::sin(latitude)};
}

std::uint8_t Byte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// Each pixel the function at its centre, or, where a hard edge crosses it, its mean over the
// pixel from 8 x 8 samples: a rendered panorama, antialiased.
RgbImage Rasterise(const Scene& scene, int width) {
    RgbImage image = RgbImage::Unfilled(width, width / 2);
    const auto at = [&](double x, double y) {
        return PanoramaVector(x / width * 2 * kPi, (0.5 - y / image.height) * kPi);
    };
    ForEachIndexInParallel(image.height, [&](int y) {
        for (int x = 0; x < width; ++x) {
            if (const std::optional<Colour> exact = scene.PixelMean(x, y, width)) {
                image.Set(x, y, {Byte((*exact)[0]), Byte((*exact)[1]), Byte((*exact)[2])});
                continue;
            }
            const int region = scene.Region(at(x + 0.5, y + 0.5));
            bool edge = false;
            for (const auto& [dx, dy] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}})
                edge = edge || scene.Region(at(x + dx, y + dy)) != region;
            Colour c{};
            if (!edge) {
                c = scene.Value(at(x + 0.5, y + 0.5));
            } else {
                for (int j = 0; j < 8; ++j)
                    for (int i = 0; i < 8; ++i) {
                        const Colour s = scene.Value(at(x + (i + 0.5) / 8, y + (j + 0.5) / 8));
                        for (int k = 0; k < 3; ++k) c[k] += s[k] / 64;
                    }
            }
            image.Set(x, y, {Byte(c[0]), Byte(c[1]), Byte(c[2])});
        }
    });
    return image;
}

// The raster of a scene without hard edges, left unrounded: what the filter reaches once the
// panorama's own rounding to bytes is out of the way.
LinearImage UnroundedRaster(const Scene& scene, int width) {
    LinearImage image = LinearImage::Sized(width, width / 2, Light::Scene);
    ForEachIndexInParallel(image.height, [&](int y) {
        float* row = image.Row(y);
        for (int x = 0; x < width; ++x) {
            const Colour c =
                scene.Value(PanoramaVector((x + 0.5) / width * 2 * kPi, (0.5 - (y + 0.5) / image.height) * kPi));
            for (int k = 0; k < 3; ++k) row[3 * x + k] = static_cast<float>(c[static_cast<std::size_t>(2 - k)]);
        }
    });
    return image;
}

// Faces in linear light rounded to bytes as they stand (the values are grey levels already).
std::array<RgbImage, 6> Rounded(const std::array<LinearImage, 6>& faces) {
    std::array<RgbImage, 6> bytes;
    for (std::size_t f = 0; f < 6; ++f) {
        bytes[f] = RgbImage::Unfilled(kFaceSize, kFaceSize);
        for (int y = 0; y < kFaceSize; ++y)
            for (int x = 0; x < kFaceSize; ++x) {
                const float* p = faces[f].Row(y) + 3 * x;
                bytes[f].Set(x, y, {Byte(p[2]), Byte(p[1]), Byte(p[0])});
            }
    }
    return bytes;
}

constexpr double kNorth = kDefaultNorthDegrees;

// The unit vector of the panorama that the face's point (column, row) looks at, worked out here
// from the cube's geometry alone: North looks at longitude kNorth.
Vec3 LookedAt(Face face, double column, double row) {
    const Vec3 d = Unit(FaceDirection(face, column, row));
    const double turn = kNorth / 180 * kPi;
    return {d.x * std::cos(turn) - d.y * std::sin(turn), d.x * std::sin(turn) + d.y * std::cos(turn), d.z};
}

using Faces = std::array<std::vector<Colour>, 6>;

// The mean of the function over each face pixel: 8 x 8 samples, 32 x 32 where an edge crosses.
Faces Truth(const Scene& scene) {
    Faces truth;
    for (auto& face : truth) face.resize(kFaceSize * kFaceSize);
    ForEachIndexInParallel(6 * kFaceSize, [&](int task) {
        const Face face = kAllFaces[static_cast<std::size_t>(task / kFaceSize)];
        const int row = task % kFaceSize;
        for (int column = 0; column < kFaceSize; ++column) {
            const auto mean = [&](int n, bool& edge) {
                Colour c{};
                const int first = scene.Region(LookedAt(face, column + 0.5, row + 0.5));
                for (int j = 0; j < n; ++j)
                    for (int i = 0; i < n; ++i) {
                        const Vec3 p = LookedAt(face, column + (i + 0.5) / n, row + (j + 0.5) / n);
                        edge = edge || scene.Region(p) != first;
                        const Colour s = scene.Value(p);
                        for (int k = 0; k < 3; ++k) c[k] += s[k] / (n * n);
                    }
                return c;
            };
            bool edge = false;
            Colour c = mean(8, edge);
            if (edge) c = mean(32, edge);
            truth[static_cast<std::size_t>(task / kFaceSize)][static_cast<std::size_t>(row) * kFaceSize + column] = c;
        }
    });
    return truth;
}

// Over the six faces, or over one.
double Psnr(const Faces& truth, const std::array<RgbImage, 6>& faces, int only = -1) {
    double sum = 0;
    for (std::size_t f = 0; f < 6; ++f) {
        if (only >= 0 && f != static_cast<std::size_t>(only)) continue;
        for (int y = 0; y < kFaceSize; ++y)
            for (int x = 0; x < kFaceSize; ++x) {
                const Rgb got = faces[f].At(x, y);
                const Colour& want = truth[f][static_cast<std::size_t>(y) * kFaceSize + x];
                for (int k = 0; k < 3; ++k) sum += (got[k] - want[k]) * (got[k] - want[k]);
            }
    }
    const double mse = sum / ((only >= 0 ? 1.0 : 6.0) * kFaceSize * kFaceSize * 3);
    return 10 * std::log10(255.0 * 255.0 / mse);
}

// Samplers of the raster as interpolating tools read it: wrapped round in longitude, clamped at
// the top and bottom rows.
Colour Texel(const RgbImage& image, long x, long y) {
    x %= image.width;
    if (x < 0) x += image.width;
    const Rgb p = image.At(static_cast<int>(x), static_cast<int>(std::clamp<long>(y, 0, image.height - 1)));
    return {double(p[0]), double(p[1]), double(p[2])};
}

// Separable interpolation with a kernel of support `radius` texels either side.
Colour Interpolated(const RgbImage& image, double u, double v, int radius, double (*kernel)(double)) {
    const double fx = u - 0.5, fy = v - 0.5;
    const auto x0 = static_cast<long>(std::floor(fx)), y0 = static_cast<long>(std::floor(fy));
    Colour c{};
    double total = 0;  // a windowed sinc's weights do not sum to one
    for (long j = y0 - radius + 1; j <= y0 + radius; ++j)
        for (long i = x0 - radius + 1; i <= x0 + radius; ++i) {
            const double w = kernel(fx - i) * kernel(fy - j);
            const Colour t = Texel(image, i, j);
            for (int k = 0; k < 3; ++k) c[k] += w * t[k];
            total += w;
        }
    for (double& channel : c) channel /= total;
    return c;
}
double Tent(double t) { return std::max(0.0, 1 - std::abs(t)); }
double CatmullRom(double t) {
    t = std::abs(t);
    if (t < 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
    if (t < 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
    return 0;
}
double Lanczos3(double t) {
    t = std::abs(t);
    if (t < 1e-9) return 1;
    if (t >= 3) return 0;
    return 3 * std::sin(kPi * t) * std::sin(kPi * t / 3) / (kPi * kPi * t * t);
}

Colour Read(const RgbImage& image, Vec3 p, int radius, double (*kernel)(double)) {
    double longitude = std::atan2(p.y, p.x);
    if (longitude < 0) longitude += 2 * kPi;
    const double latitude = std::atan2(p.z, std::hypot(p.x, p.y));
    return Interpolated(image, longitude / (2 * kPi) * image.width, (0.5 - latitude / kPi) * image.height, radius,
                        kernel);
}

// Six faces read with n x n reads of the kernel spread over each pixel.
std::array<RgbImage, 6> Sampled(const RgbImage& panorama, int n, int radius, double (*kernel)(double)) {
    std::array<RgbImage, 6> faces;
    for (auto& face : faces) face = RgbImage::Unfilled(kFaceSize, kFaceSize);
    ForEachIndexInParallel(6 * kFaceSize, [&](int task) {
        const Face face = kAllFaces[static_cast<std::size_t>(task / kFaceSize)];
        const int row = task % kFaceSize;
        for (int column = 0; column < kFaceSize; ++column) {
            Colour c{};
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    const Colour s =
                        Read(panorama, LookedAt(face, column + (i + 0.5) / n, row + (j + 0.5) / n), radius, kernel);
                    for (int k = 0; k < 3; ++k) c[k] += s[k] / (n * n);
                }
            faces[static_cast<std::size_t>(task / kFaceSize)].Set(column, row, {Byte(c[0]), Byte(c[1]), Byte(c[2])});
        }
    });
    return faces;
}

// Face pixel (column, row) of the face and the point (column, row) in its coordinates, which
// may lie beyond its edges: the face and pixel that point falls in.
struct FacePixel {
    std::size_t face;
    int column, row;
};
FacePixel PixelAt(Face from, double column, double row) {
    const Vec3 d = Unit(FaceDirection(from, column, row));
    FacePixel best{0, 0, 0};
    double nearest = -2;
    for (std::size_t f = 0; f < 6; ++f) {
        const Vec3 forward = Unit(FaceDirection(kAllFaces[f], kFaceSize / 2.0, kFaceSize / 2.0));
        if (Dot(forward, d) <= nearest) continue;
        nearest = Dot(forward, d);
        const Direction r = FaceDirection(kAllFaces[f], kFaceSize, kFaceSize / 2.0);
        const Direction u = FaceDirection(kAllFaces[f], kFaceSize / 2.0, 0);
        const Vec3 right{r.x - forward.x, r.y - forward.y, r.z - forward.z};
        const Vec3 up{u.x - forward.x, u.y - forward.y, u.z - forward.z};
        const double a = Dot(d, right) / Dot(d, forward), b = Dot(d, up) / Dot(d, forward);
        best = {f, std::clamp(static_cast<int>(std::floor((a + 1) * kFaceSize / 2)), 0, kFaceSize - 1),
                std::clamp(static_cast<int>(std::floor((1 - b) * kFaceSize / 2)), 0, kFaceSize - 1)};
    }
    return best;
}

// RMS of the step from every edge pixel to its neighbour across the cube's edge, and to the
// next pixel inside its own face, in grey levels.
std::pair<double, double> Seams(const std::array<RgbImage, 6>& faces) {
    double across = 0, inside = 0;
    long count = 0;
    const auto step = [&](FacePixel a, FacePixel b) {
        const Rgb p = faces[a.face].At(a.column, a.row), q = faces[b.face].At(b.column, b.row);
        double s = 0;
        for (int k = 0; k < 3; ++k) s += (p[k] - q[k]) * (p[k] - q[k]);
        return s / 3;
    };
    for (std::size_t f = 0; f < 6; ++f)
        for (int t = 0; t < kFaceSize; ++t) {
            const double m = t + 0.5;
            const Face face = kAllFaces[f];
            const struct {
                double column, row, outColumn, outRow, inColumn, inRow;
            } sides[] = {{0.5, m, -0.5, m, 1.5, m},
                         {kFaceSize - 0.5, m, kFaceSize + 0.5, m, kFaceSize - 1.5, m},
                         {m, 0.5, m, -0.5, m, 1.5},
                         {m, kFaceSize - 0.5, m, kFaceSize + 0.5, m, kFaceSize - 1.5}};
            for (const auto& s : sides) {
                const FacePixel here = PixelAt(face, s.column, s.row);
                across += step(here, PixelAt(face, s.outColumn, s.outRow));
                inside += step(here, PixelAt(face, s.inColumn, s.inRow));
                ++count;
            }
        }
    return {std::sqrt(across / count), std::sqrt(inside / count)};
}

std::filesystem::path WriteJpeg(const RgbImage& image, int quality) {
    auto path = std::filesystem::temp_directory_path() / "zenivor-projection-quality.jpg";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return {};
    jpeg_compress_struct c{};
    jpeg_error_mgr e{};
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = static_cast<JDIMENSION>(image.width);
    c.image_height = static_cast<JDIMENSION>(image.height);
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;  // the image's own byte order
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < image.height; ++y) {
        JSAMPROW row = const_cast<std::uint8_t*>(image.Row(y));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
    return path;
}

// The panorama as the converter reads it (libjpeg's scaled decoding where it may shrink), and
// whole, as the other samplers read it.
std::pair<RgbImage, RgbImage> ReadBack(const std::filesystem::path& path, ImageSize size) {
    Result<RgbImage> reduced =
        ReadImageReduced(SystemFileSystem(), path, PanoramaDecoders(), size, UnneededResolutionFactor(size));
    Result<RgbImage> whole = ReadImage(SystemFileSystem(), path, PanoramaDecoders(), size);
    std::filesystem::remove(path);
    if (!reduced || !whole) {
        std::fprintf(stderr, "projection_quality: cannot read the JPEG back\n");
        std::exit(1);
    }
    return {std::move(*reduced), std::move(*whole)};
}

struct Test {
    const char* name;
    const char* label;
    std::function<std::unique_ptr<Scene>()> scene;
    int width;
    bool jpeg;
    bool seams;
    bool unrounded = false;  // also Zenivor's score from the raster unrounded
};

// The truth, kept in `folder` (when not empty) between runs: it takes most of the time.
Faces CachedTruth(const Scene& scene, const std::string& folder, const char* name) {
    const std::filesystem::path path = std::filesystem::path(folder) / (std::string(name) + ".truth");
    Faces truth;
    FILE* in = folder.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    bool read = in != nullptr;
    for (auto& face : truth) {
        face.resize(kFaceSize * kFaceSize);
        read = read && std::fread(face.data(), sizeof(Colour), face.size(), in) == face.size();
    }
    if (in != nullptr) std::fclose(in);
    if (read) return truth;
    truth = Truth(scene);
    FILE* out = folder.empty() ? nullptr : std::fopen(path.c_str(), "wb");
    if (out == nullptr) return truth;
    for (const auto& face : truth) std::fwrite(face.data(), sizeof(Colour), face.size(), out);
    std::fclose(out);
    return truth;
}

struct Options {
    bool samplers = true;  // also score the plain samplers
    std::string truths;    // where to keep the truths between runs
    bool faces = false;    // also Zenivor's score on each face
    bool map = false;      // also Zenivor's score on an 8 x 8 grid of North and of the sky cap
};

// The score of each of 8 x 8 blocks of one face, row by row: where on a face the errors lie.
void PrintMap(const Faces& truth, const std::array<RgbImage, 6>& faces, std::size_t face) {
    constexpr int kBlocks = 8, kBlock = kFaceSize / kBlocks;
    for (int by = 0; by < kBlocks; ++by) {
        std::printf("|  ");
        for (int bx = 0; bx < kBlocks; ++bx) {
            double sum = 0;
            for (int y = by * kBlock; y < (by + 1) * kBlock; ++y)
                for (int x = bx * kBlock; x < (bx + 1) * kBlock; ++x) {
                    const Rgb got = faces[face].At(x, y);
                    const Colour& want = truth[face][static_cast<std::size_t>(y) * kFaceSize + x];
                    for (int k = 0; k < 3; ++k) sum += (got[k] - want[k]) * (got[k] - want[k]);
                }
            std::printf(" %5.1f", 10 * std::log10(255.0 * 255.0 * kBlock * kBlock * 3 / sum));
        }
        std::printf(" |\n");
    }
}

void Run(const Test& test, const Options& options) {
    const std::unique_ptr<Scene> scene = test.scene();
    RgbImage raster = Rasterise(*scene, test.width);
    RgbImage projected = raster;
    if (test.jpeg) std::tie(projected, raster) = ReadBack(WriteJpeg(raster, 92), {raster.width, raster.height});
    const Faces truth = CachedTruth(*scene, options.truths, test.name);
    const auto zenivor = ProjectPanorama(projected, kNorth);
    std::printf("| %-36s | %7.2f |", test.label, Psnr(truth, zenivor));
    if (options.samplers)
        std::printf(" %8.2f | %11.2f | %8.2f | %12.2f |", Psnr(truth, Sampled(raster, 1, 1, Tent)),
                    Psnr(truth, Sampled(raster, 1, 2, CatmullRom)), Psnr(truth, Sampled(raster, 1, 3, Lanczos3)),
                    Psnr(truth, Sampled(raster, 4, 1, Tent)));
    std::printf("\n");
    if (options.faces) {
        std::printf("|   Zenivor by face (N W S E cap ground):");
        for (int f = 0; f < 6; ++f) std::printf(" %.2f", Psnr(truth, zenivor, f));
        std::printf(" |\n");
    }
    if (options.map) {
        std::printf("|   Zenivor on North, then on the sky cap, by block of 63 x 63 pixels:\n");
        PrintMap(truth, zenivor, 0);
        std::printf("|\n");
        PrintMap(truth, zenivor, 4);
    }
    if (test.unrounded) {
        const auto faces =
            Rounded(ProjectLinearPanorama(UnroundedRaster(*scene, test.width), PanoramaView{.north = kNorth}));
        std::printf("| %-36s | %7.2f |\n", "  the same from an unrounded raster", Psnr(truth, faces));
    }
    if (test.seams) {
        const auto [across, inside] = Seams(zenivor);
        std::printf("| %-36s | %.2f vs %.2f RMS grey levels |\n", "seams: step across an edge vs inside", across,
                    inside);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // The geometry worked out here agrees with the projection's own.
    const PanoramaPoint point = PanoramaPointOf(FaceDirection(Face::East, 100, 30), kNorth);
    const Vec3 p = LookedAt(Face::East, 100, 30),
               q = PanoramaVector(point.longitude / 180 * kPi, point.latitude / 180 * kPi);
    if (Dot(p, q) < 1 - 1e-12) {
        std::fprintf(stderr, "projection_quality: the geometry disagrees with PanoramaPointOf\n");
        return 1;
    }
    const auto waves = [] { return std::unique_ptr<Scene>(new Waves); };
    const auto discs = [] { return std::unique_ptr<Scene>(new WavesAndDiscs); };
    const Test tests[] = {
        {"smooth4096", "smooth waves, 4096 PNG", waves, 4096, false, true, true},
        {"jpeg8192", "smooth waves, 8192 JPEG (quality 92)", waves, 8192, true, false},
        {"checker8192", "2-pixel checkerboard, 8192", [] { return std::unique_ptr<Scene>(new Checkerboard(8192)); },
         8192, false, false},
        {"waves1024", "smooth waves, 1024 (enlarged)", waves, 1024, false, false},
        {"discs1024", "waves + discs, 1024 (enlarged)", discs, 1024, false, false},
        {"discs4096", "waves + discs, 4096 (~2.6x shrink)", discs, 4096, false, false},
    };
    Options options;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--zenivor-only")
            options.samplers = false;
        else if (argument == "--faces")
            options.faces = true;
        else if (argument == "--map")
            options.map = true;
        else if (argument.starts_with("--truths="))
            options.truths = argument.substr(9);
        else
            names.push_back(argument);
    }
    std::printf("PSNR in dB against the analytic truth (8-bit faces: at most 58.9 dB)\n");
    std::printf("| %-36s | Zenivor | bilinear | Catmull-Rom | Lanczos3 | 4x4 bilinear |\n", "test");
    std::printf("|%s|---------|----------|-------------|----------|--------------|\n", std::string(38, '-').c_str());
    for (const Test& test : tests)
        if (names.empty() || std::find(names.begin(), names.end(), test.name) != names.end()) Run(test, options);
    return 0;
}
