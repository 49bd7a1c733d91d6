// Writes the seed corpus of the TGA fuzzer (committed in tools/fuzz/corpus/tga): small files of
// every image type, depth and origin, named by their layout.
// Usage: make_fuzz_seeds OUTPUT-FOLDER

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Seed {
    int type;
    int depth;
    int mapDepth;
    int descriptor;
};

std::vector<std::uint8_t> MakeSeed(const Seed& s, int width, int height) {
    const int mapLength = s.mapDepth ? 4 : 0;
    std::vector<std::uint8_t> out = {2,
                                     static_cast<std::uint8_t>(s.mapDepth ? 1 : 0),
                                     static_cast<std::uint8_t>(s.type),
                                     1,
                                     0,
                                     static_cast<std::uint8_t>(mapLength),
                                     0,
                                     static_cast<std::uint8_t>(s.mapDepth),
                                     0,
                                     0,
                                     0,
                                     0,
                                     static_cast<std::uint8_t>(width),
                                     0,
                                     static_cast<std::uint8_t>(height),
                                     0,
                                     static_cast<std::uint8_t>(s.depth),
                                     static_cast<std::uint8_t>(s.descriptor)};
    out.insert(out.end(), {'i', 'd'});
    for (int i = 0; i < mapLength * ((s.mapDepth + 7) / 8); ++i) out.push_back(static_cast<std::uint8_t>(i * 37));
    const int bytesPerPixel = (s.depth + 7) / 8;
    const int pixels = width * height;
    if (s.type >= 9) {
        for (int done = 0; done < pixels;) {
            const int length = std::min(3, pixels - done);
            out.push_back(static_cast<std::uint8_t>((done % 2 ? 0x80 : 0) | (length - 1)));
            const int stored = done % 2 ? 1 : length;
            for (int i = 0; i < stored * bytesPerPixel; ++i) out.push_back(static_cast<std::uint8_t>(1 + i % 3));
            done += length;
        }
    } else {
        for (int i = 0; i < pixels * bytesPerPixel; ++i) out.push_back(static_cast<std::uint8_t>(1 + i % 3));
    }
    return out;
}

// "type10-32bit-top.tga", "type1-8bit-map24-bottom.tga": what the seed exercises, at a glance.
std::string SeedName(const Seed& s) {
    std::string name = "type" + std::to_string(s.type) + "-" + std::to_string(s.depth) + "bit";
    if (s.mapDepth) name += "-map" + std::to_string(s.mapDepth);
    name += (s.descriptor & 0x20) ? "-top" : "-bottom";
    if (s.descriptor & 0x10) name += "-mirrored";
    return name + ".tga";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTPUT-FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    const Seed seeds[] = {
        {2, 24, 0, 0x00},  {2, 32, 0, 0x28},  {2, 16, 0, 0x10}, {2, 15, 0, 0x30}, {10, 24, 0, 0x00},
        {10, 32, 0, 0x20}, {10, 16, 0, 0x00}, {3, 8, 0, 0x00},  {11, 8, 0, 0x20}, {3, 16, 0, 0x00},
        {1, 8, 24, 0x00},  {1, 16, 32, 0x20}, {9, 8, 16, 0x00}, {9, 8, 15, 0x10}, {2, 24, 24, 0x00},
    };
    for (const Seed& seed : seeds) {
        std::ofstream file(folder / SeedName(seed), std::ios::binary);
        const auto bytes = MakeSeed(seed, 5, 3);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    return 0;
}
