// What the decoders share: recognition, the Exif orientation, declared sizes, reads bounded to
// the image, the source's own errors, and decoding on several threads at once.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "formats/Exif.h"
#include "formats/ImageFormats.h"
#include "formats/SourceReader.h"
#include "imaging/Tga.h"
#include "tests/FormatsTestFiles.h"
#include "tests/FormatsWriters.h"
#include "tests/Sanitizers.h"

namespace zenivor::test {
namespace {

TEST(FormatsRecognition, BySignatureAlone) {
    const struct {
        const char* name;
        Bytes head;
        bool png, jpeg;
    } rows[] = {
        {"PNG", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}, true, false},
        {"PNG cut short", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, false, false},
        {"PNG with a line-feed for CR-LF", {0x89, 'P', 'N', 'G', '\n', '\n', 0x1A, '\n'}, false, false},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0}, false, true},
        {"JPEG cut short", {0xFF, 0xD8}, false, false},
        {"GIF", {'G', 'I', 'F', '8', '9', 'a'}, false, false},
        {"TGA", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 16, 0, 24, 0}, false, false},
        {"empty", {}, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(PngDecoder().Recognises(row.head), row.png);
        EXPECT_EQ(JpegDecoder().Recognises(row.head), row.jpeg);
    }
}

// Simple turns and mirrors, from which a camera's stored picture is made.
RgbImage MirroredLeftRight(const RgbImage& in) {
    RgbImage out = RgbImage::Unfilled(in.width, in.height);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) out.Set(in.width - 1 - x, y, in.At(x, y));
    return out;
}

RgbImage MirroredTopBottom(const RgbImage& in) {
    RgbImage out = RgbImage::Unfilled(in.width, in.height);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) out.Set(x, in.height - 1 - y, in.At(x, y));
    return out;
}

RgbImage Transposed(const RgbImage& in) {
    RgbImage out = RgbImage::Unfilled(in.height, in.width);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) out.Set(y, x, in.At(x, y));
    return out;
}

RgbImage TurnedClockwise(const RgbImage& in) { return MirroredLeftRight(Transposed(in)); }

// The picture as a camera holding it in the orientation's way stores it; the decoder must undo this.
RgbImage StoredAs(int orientation, const RgbImage& upright) {
    switch (orientation) {
        case 2: return MirroredLeftRight(upright);
        case 3: return MirroredTopBottom(MirroredLeftRight(upright));
        case 4: return MirroredTopBottom(upright);
        case 5: return Transposed(upright);                                         // first row on the left
        case 6: return TurnedClockwise(TurnedClockwise(TurnedClockwise(upright)));  // first row on the right
        case 7: return MirroredTopBottom(MirroredLeftRight(Transposed(upright)));
        case 8: return TurnedClockwise(upright);
        default: return upright;
    }
}

class Orientations : public testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(Orientations, PngIsReturnedUpright) {
    const auto [orientation, bigEndian] = GetParam();
    const RgbImage upright = NoiseImage(7, 4);
    const Bytes file = EncodeRgbPng(StoredAs(orientation, upright), ExifTiff(bigEndian, orientation));
    MemorySource source(file);
    const Result<ImageSize> size = PngDecoder().ReadSize(source);
    ASSERT_TRUE(size) << NumberAndReason(size.Error());
    EXPECT_EQ(*size, (ImageSize{7, 4}));
    const Result<RgbImage> image = PngDecoder().Read(source, {7, 4});
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    EXPECT_EQ(*image, upright);
}

TEST_P(Orientations, JpegIsReturnedUpright) {
    const auto [orientation, bigEndian] = GetParam();
    const RgbImage upright = SlopeImage(24, 16);
    const Bytes file = EncodeRgbJpeg(StoredAs(orientation, upright), {ExifApp1(ExifTiff(bigEndian, orientation))});
    MemorySource source(file);
    const Result<ImageSize> size = JpegDecoder().ReadSize(source);
    ASSERT_TRUE(size) << NumberAndReason(size.Error());
    EXPECT_EQ(*size, (ImageSize{24, 16}));
    const Result<RgbImage> image = JpegDecoder().Read(source, {24, 16});
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    EXPECT_LE(MaxDifference(*image, upright), 3);  // the tolerance of FormatsJpeg's YCbCr case
}

INSTANTIATE_TEST_SUITE_P(Formats, Orientations, testing::Combine(testing::Range(1, 9), testing::Bool()),
                         [](const auto& info) {
                             return std::to_string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "BigEndian" : "LittleEndian");
                         });

TEST(FormatsExif, TheOrientationFollowsAnXmpSegment) {
    const RgbImage upright = SlopeImage(24, 16);
    const std::string xmpMark = "http://ns.adobe.com/xap/1.0/";
    Bytes xmp(xmpMark.begin(), xmpMark.end());
    xmp.push_back(0);
    const Bytes file = EncodeRgbJpeg(StoredAs(6, upright), {xmp, ExifApp1(ExifTiff(true, 6))});
    MemorySource source(file);
    const Result<RgbImage> image = JpegDecoder().Read(source, {});
    ASSERT_TRUE(image) << NumberAndReason(image.Error());
    EXPECT_LE(MaxDifference(*image, upright), 3);
}

struct ExifDamage {
    const char* name;
    void (*apply)(Bytes& tiff);  // on ExifTiff(true, 6): the orientation entry starts at 22
};

const ExifDamage kExifDamage[] = {
    {"cut inside the header", [](Bytes& tiff) { tiff.resize(7); }},
    {"unknown byte order", [](Bytes& tiff) { tiff[1] = 'I'; }},
    {"not 42", [](Bytes& tiff) { tiff[3] = 43; }},
    {"directory at the end", [](Bytes& tiff) { tiff[7] = static_cast<std::uint8_t>(tiff.size()); }},
    {"directory far past the end", [](Bytes& tiff) { tiff[4] = tiff[5] = tiff[6] = tiff[7] = 0xFF; }},
    {"cut inside the orientation entry", [](Bytes& tiff) { tiff.resize(30); }},
    {"orientation as a LONG", [](Bytes& tiff) { tiff[25] = 4; }},
    {"two orientation values", [](Bytes& tiff) { tiff[29] = 2; }},
    {"orientation 0", [](Bytes& tiff) { tiff[31] = 0; }},
    {"orientation 9", [](Bytes& tiff) { tiff[31] = 9; }},
};

TEST(FormatsExif, DamagedExifDataLeavesThePictureAsStored) {
    const RgbImage stored = SlopeImage(24, 16);
    const Bytes plainJpeg = EncodeRgbJpeg(stored);
    MemorySource plainJpegSource(plainJpeg);
    const Result<RgbImage> asStoredJpeg = JpegDecoder().Read(plainJpegSource, {});
    ASSERT_TRUE(asStoredJpeg);
    for (const ExifDamage& damage : kExifDamage) {
        SCOPED_TRACE(damage.name);
        Bytes tiff = ExifTiff(true, 6);
        damage.apply(tiff);
        EXPECT_EQ(formats::ExifOrientation(tiff), 1);
        const Bytes png = EncodeRgbPng(stored, tiff), jpeg = EncodeRgbJpeg(stored, {ExifApp1(tiff)});
        MemorySource pngSource(png), jpegSource(jpeg);
        const Result<RgbImage> fromPng = PngDecoder().Read(pngSource, {});
        const Result<RgbImage> fromJpeg = JpegDecoder().Read(jpegSource, {});
        ASSERT_TRUE(fromPng) << NumberAndReason(fromPng.Error());
        ASSERT_TRUE(fromJpeg) << NumberAndReason(fromJpeg.Error());
        EXPECT_EQ(*fromPng, stored);
        EXPECT_EQ(*fromJpeg, *asStoredJpeg);
    }
}

TEST(FormatsExif, TheExpectedSizeIsTheUprightOne) {
    const Bytes file = EncodeRgbPng(NoiseImage(16, 8), ExifTiff(false, 6));
    MemorySource source(file);
    EXPECT_TRUE(PngDecoder().Read(source, {8, 16}));
    const Result<RgbImage> stored = PngDecoder().Read(source, {16, 8});
    ASSERT_FALSE(stored);
    EXPECT_EQ(stored.Error().code, errc::UnexpectedSize);
}

struct Decoder {
    const char* name;
    const ImageDecoder& (*decoder)();
    Bytes (*encode)(const RgbImage&);
    const char* seeds;  // the fuzzer's seed folder
    int seedCount;      // how many seeds it holds at least
};

// The image's bytes as radiance, for the HDR formats.
std::vector<float> RadianceOf(const RgbImage& image) {
    std::vector<float> rgb;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (const std::uint8_t value : image.At(x, y)) rgb.push_back(value / 16.0F);
    return rgb;
}

const Decoder kDecoders[] = {
    {"PNG", PngDecoder, [](const RgbImage& image) { return EncodeRgbPng(image); }, "png", 8},
    {"JPEG", JpegDecoder, [](const RgbImage& image) { return EncodeRgbJpeg(image); }, "jpeg", 8},
    {"TIFF", TiffDecoder, EncodeRgbTiff, "tiff", 7},
    {"WebP", WebpDecoder, [](const RgbImage& image) { return EncodeWebp(image, WebpKind::Lossless); }, "webp", 4},
    {"OpenEXR", ExrDecoder,
     [](const RgbImage& image) {
         return EncodeExr({image.width, image.height, RadianceOf(image), true, false, false, 3, 0, false, 0, 0});
     },
     "exr", 6},
    {"Radiance HDR", HdrDecoder,
     [](const RgbImage& image) {
         return EncodeHdr({image.width, image.height, RadianceOf(image), true, "FORMAT=32-bit_rle_rgbe\n", ""});
     },
     "hdr", 3},
};

TEST(FormatsBoundedReads, BytesAfterTheImageAreNotRead) {
    constexpr std::size_t kTail = 32 << 20;
    for (const Decoder& format : kDecoders) {
        SCOPED_TRACE(format.name);
        const Bytes image = format.encode(NoiseImage(256, 256));
        Bytes file = image;
        file.resize(image.size() + kTail, 0xA5);
        MemorySource plain(image);
        const Result<RgbImage> expected = format.decoder().Read(plain, {});
        ASSERT_TRUE(expected);
        CountingSource source(file);
        const Result<RgbImage> decoded = format.decoder().Read(source, {});
        ASSERT_TRUE(decoded) << NumberAndReason(decoded.Error());
        EXPECT_EQ(*decoded, *expected);
        EXPECT_LE(source.requested, image.size() + kReadChunkBytes);
        EXPECT_LE(source.furthestEnd, image.size() + kReadChunkBytes);
        CountingSource header(file);
        ASSERT_TRUE(format.decoder().ReadSize(header));
        EXPECT_LE(header.requested, kReadChunkBytes);
    }
}

TEST(FormatsSourceErrors, ReachTheCallerUnchanged) {
    for (const Decoder& format : kDecoders) {
        const Bytes file = format.encode(NoiseImage(256, 256));
        for (const std::uint64_t failAt : {std::uint64_t{0}, std::uint64_t{file.size() / 2}}) {
            SCOPED_TRACE(std::string(format.name) + " failing at " + std::to_string(failAt));
            FailingSource source(file, failAt);
            const Result<RgbImage> image = format.decoder().Read(source, {});
            ASSERT_FALSE(image);
            EXPECT_EQ(image.Error().code, errc::FileRead);
            EXPECT_EQ(image.Error().systemError, EIO);
        }
    }
}

TEST(FormatsThreads, DecodeAtOnceAsAlone) {
    const Bytes png = EncodeRgbPng(NoiseImage(64, 48)), jpeg = EncodeRgbJpeg(NoiseImage(64, 48));
    MemorySource pngSource(png), jpegSource(jpeg);
    const Result<RgbImage> alonePng = PngDecoder().Read(pngSource, {}), aloneJpeg = JpegDecoder().Read(jpegSource, {});
    ASSERT_TRUE(alonePng && aloneJpeg);
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int& count : mismatches)
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                MemorySource p(png), j(jpeg);
                const Result<RgbImage> a = PngDecoder().Read(p, {}), b = JpegDecoder().Read(j, {});
                count += !(a && *a == *alonePng) + !(b && *b == *aloneJpeg);
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// A file of each format declaring a size: made by the format's own encoder (or, for TGA, a bare
// header of the program's own layout) and rewritten.
struct DeclaringFormat {
    const char* name;
    const ImageDecoder& (*decoder)();
    std::uint32_t widestSide;  // what the format can hold
    Bytes (*declaring)(std::uint32_t width, std::uint32_t height);
};

Bytes TgaDeclaring(std::uint32_t width, std::uint32_t height) {
    Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 24, 0, 1, 2, 3};
    tga[12] = width & 0xFF, tga[13] = width >> 8 & 0xFF, tga[14] = height & 0xFF, tga[15] = height >> 8 & 0xFF;
    return tga;
}
Bytes PngDeclaring(std::uint32_t width, std::uint32_t height) {
    Bytes png = EncodeRgbPng(NoiseImage(16, 8));
    SetPngSize(png, width, height);
    return png;
}
Bytes JpegDeclaring(std::uint32_t width, std::uint32_t height) {
    Bytes jpeg = EncodeRgbJpeg(SlopeImage(32, 24));
    SetJpegSize(jpeg, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height));
    return jpeg;
}

void PutLittleEndian(Bytes& bytes, std::size_t at, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}
std::uint32_t LittleEndianAt(const Bytes& bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}
// A little-endian TIFF's width and length entries rewritten as LONGs, and all rows in one strip.
Bytes TiffDeclaring(std::uint32_t width, std::uint32_t height) {
    Bytes tiff = EncodeRgbTiff(NoiseImage(16, 8));
    const std::uint32_t directory = LittleEndianAt(tiff, 4, 4);
    for (std::uint32_t i = 0; i < LittleEndianAt(tiff, directory, 2); ++i) {
        const std::size_t entry = directory + 2 + i * 12;
        const std::uint32_t tag = LittleEndianAt(tiff, entry, 2);
        if (tag != TIFFTAG_IMAGEWIDTH && tag != TIFFTAG_IMAGELENGTH && tag != TIFFTAG_ROWSPERSTRIP) continue;
        PutLittleEndian(tiff, entry + 2, 4, 2);  // LONG
        PutLittleEndian(tiff, entry + 8,
                        tag == TIFFTAG_IMAGEWIDTH    ? width
                        : tag == TIFFTAG_IMAGELENGTH ? height
                                                     : 0xFFFFFFFF,
                        4);
    }
    return tiff;
}
// A lossless WebP's VP8L header, whose 14-bit fields hold the sides less one.
Bytes WebpDeclaring(std::uint32_t width, std::uint32_t height) {
    Bytes webp = EncodeWebp(NoiseImage(16, 8), WebpKind::Lossless);
    const std::uint32_t bits = LittleEndianAt(webp, 21, 4);
    PutLittleEndian(webp, 21, (bits & 0xF0000000) | (width - 1) | (height - 1) << 14, 4);
    return webp;
}
// An OpenEXR file's data and display windows.
Bytes ExrDeclaring(std::uint32_t width, std::uint32_t height) {
    RgbImage image = NoiseImage(16, 8);
    Bytes exr = EncodeExr({16, 8, RadianceOf(image), true, false, false, 0, 0, false, 0, 0});
    for (const std::string name : {"dataWindow", "displayWindow"}) {
        const std::string mark = name + std::string("\0box2i\0", 7);
        const auto at = std::search(exr.begin(), exr.end(), mark.begin(), mark.end());
        const auto values = static_cast<std::size_t>(at - exr.begin()) + mark.size() + 4;
        PutLittleEndian(exr, values + 8, width - 1, 4);
        PutLittleEndian(exr, values + 12, height - 1, 4);
    }
    return exr;
}
Bytes HdrDeclaring(std::uint32_t width, std::uint32_t height) {
    const RgbImage image = NoiseImage(16, 8);
    return EncodeHdr({16, 8, RadianceOf(image), true, "FORMAT=32-bit_rle_rgbe\n",
                      "-Y " + std::to_string(height) + " +X " + std::to_string(width)});
}

const DeclaringFormat kDeclaringFormats[] = {
    {"TGA", TgaDecoder, 65535, TgaDeclaring},
    {"PNG", PngDecoder, 0x7FFFFFFF, PngDeclaring},
    {"JPEG", JpegDecoder, 65500, JpegDeclaring},    // libjpeg's own limit
    {"TIFF", TiffDecoder, 1 << 24, TiffDeclaring},  // libtiff itself refuses a strip of 2^31 x 2^31
    {"WebP", WebpDecoder, 16384, WebpDeclaring},
    {"OpenEXR", ExrDecoder, 1 << 30, ExrDeclaring},  // the library itself refuses a window 2^31 wide
    {"HDR", HdrDecoder, 0x7FFFFFFF, HdrDeclaring},
};

class DeclaredSizes : public testing::TestWithParam<DeclaringFormat> {};

// A source that claims terabytes behind the file, so that no decoder stops at the file's end.
class EndlessSource final : public ByteSource {
public:
    explicit EndlessSource(const Bytes& bytes) : inner_(bytes) {}
    std::uint64_t Size() const override { return std::uint64_t{1} << 40; }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        if (const Result<std::size_t> got = inner_.ReadAt(offset, out); !got) return got.Error();
        return out.size();
    }

private:
    MemorySource inner_;
};

TEST_P(DeclaredSizes, OverTheLimitsAreTooLargeBeforeAnythingIsRead) {
    const struct {
        std::uint32_t width, height;
        bool tooLarge;
    } rows[] = {
        {16384, 16384, false},     {16385, 16384, true},           {30000, 30000, true}, {65535, 4096, false},
        {65535, 4097, true},       {65535, 65535, true},           {1u << 20, 1, false}, {(1u << 20) + 1, 1, true},
        {1, (1u << 20) + 1, true}, {0x7FFFFFFF, 0x7FFFFFFF, true},
    };
    for (const auto& row : rows) {
        if (std::max(row.width, row.height) > GetParam().widestSide) continue;
        SCOPED_TRACE(std::to_string(row.width) + " x " + std::to_string(row.height));
        const Bytes file = GetParam().declaring(row.width, row.height);
        MemorySource source(file);
        const Result<ImageSize> size = GetParam().decoder().ReadSize(source);
        ASSERT_EQ(static_cast<bool>(size), !row.tooLarge);
        if (size) {
            EXPECT_EQ(*size, (ImageSize{static_cast<int>(row.width), static_cast<int>(row.height)}));
            continue;
        }
        EXPECT_EQ(size.Error().code, errc::TooLarge);
        EndlessSource endless(file);
        const Result<RgbImage> image = GetParam().decoder().Read(endless, {});
        ASSERT_FALSE(image);
        EXPECT_EQ(image.Error().code, errc::TooLarge);
    }
}

// A tiny file declaring the largest image allowed is refused for what it lacks, without reserving
// room for the image first: under an address space too small for it, the refusal is the same.
TEST_P(DeclaredSizes, ATinyFileReservesNothingForTheImageItDeclares) {
#if ZENIVOR_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
    const Bytes file = GetParam().declaring(16384, 16384);
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit limit{256u << 20, 256u << 20};  // a third of the image
        ::setrlimit(RLIMIT_AS, &limit);
        MemorySource source(file);
        const Result<RgbImage> image = GetParam().decoder().Read(source, {});
        ::_exit(image ? 100 : image.Error().code.number);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    const int refusal = WEXITSTATUS(status);
    EXPECT_NE(refusal, 100) << "a tiny file decoded as a whole image";
    EXPECT_NE(refusal, errc::OutOfMemory.number) << "room was reserved for the declared image";
}

INSTANTIATE_TEST_SUITE_P(Formats, DeclaredSizes, testing::ValuesIn(kDeclaringFormats),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatsFuzzSeeds, EveryCommittedSeedDecodes) {
    const std::filesystem::path seeds = ZENIVOR_FUZZ_SEEDS;
    for (const Decoder& format : kDecoders) {
        int count = 0;
        const std::string folder = format.seeds;
        for (const auto& entry : std::filesystem::directory_iterator(seeds / folder)) {
            SCOPED_TRACE(entry.path().string());
            std::ifstream file(entry.path(), std::ios::binary);
            const Bytes bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            EXPECT_TRUE(format.decoder().Recognises(bytes));
            MemorySource source(bytes);
            const Result<RgbImage> image = format.decoder().Read(source, {});
            EXPECT_TRUE(image) << (image ? "" : NumberAndReason(image.Error()));
            ++count;
        }
        EXPECT_GE(count, format.seedCount) << folder;
    }
}

}  // namespace
}  // namespace zenivor::test
