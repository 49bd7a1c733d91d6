// The TGA reader against files built here by an independent encoder, for every layout image
// editors write, and against malformed files that must fail with their own code.

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <numeric>

#include "imaging/ImageFiles.h"
#include "imaging/Tga.h"
#include "tests/TestSupport.h"

namespace zenivor::test {
namespace {

std::uint8_t Expand5(int value) { return static_cast<std::uint8_t>((value << 3) | (value >> 2)); }

// Channel values a 5-bit channel can hold exactly, so one palette serves every depth.
const std::vector<std::array<int, 3>> kFiveBitPalette = {
    {0, 0, 0}, {31, 31, 31}, {31, 0, 10}, {0, 20, 31}, {10, 31, 20}, {20, 10, 0},
};

struct Variant {
    const char* name;
    int type;
    int depth;           // pixel depth (index depth for colour-mapped types)
    int colourMapDepth;  // 0: no colour map
    int colourMapFirst;
    int descriptorOrigin;  // bit 4 right-to-left, bit 5 top-to-bottom
    int idLength;
    bool footer;
};

constexpr int kWidth = 7;  // odd, so runs of three cross rows
constexpr int kHeight = 3;

int PaletteIndexAt(int x, int y) { return ((y * kWidth + x) / 3) % static_cast<int>(kFiveBitPalette.size()); }
bool IsGrey(const Variant& v) { return v.type == 3 || v.type == 11; }
bool IsMapped(const Variant& v) { return v.type == 1 || v.type == 9; }

Rgb ExpectedColour(const Variant& v, int x, int y) {
    const auto& entry = kFiveBitPalette[static_cast<std::size_t>(PaletteIndexAt(x, y))];
    if (IsGrey(v)) {
        const auto grey = static_cast<std::uint8_t>(40 * PaletteIndexAt(x, y) + 5);
        return {grey, grey, grey};
    }
    return {Expand5(entry[0]), Expand5(entry[1]), Expand5(entry[2])};
}

void AppendColour(std::vector<std::uint8_t>& out, const Rgb& c, int depth) {
    if (depth == 15 || depth == 16) {
        const int value = ((c[0] >> 3) << 10) | ((c[1] >> 3) << 5) | (c[2] >> 3) | (depth == 16 ? 0x8000 : 0);
        out.push_back(static_cast<std::uint8_t>(value & 0xFF));
        out.push_back(static_cast<std::uint8_t>(value >> 8));
        return;
    }
    out.insert(out.end(), {c[2], c[1], c[0]});
    if (depth == 32) out.push_back(0x7F);  // alpha, to be ignored
}

std::vector<std::uint8_t> StoredPixel(const Variant& v, int x, int y) {
    std::vector<std::uint8_t> out;
    if (IsMapped(v)) {
        const int index = PaletteIndexAt(x, y) + v.colourMapFirst;
        out.push_back(static_cast<std::uint8_t>(index & 0xFF));
        if (v.depth == 16) out.push_back(static_cast<std::uint8_t>(index >> 8));
    } else if (IsGrey(v)) {
        out.push_back(ExpectedColour(v, x, y)[0]);
        if (v.depth == 16) out.push_back(0xFF);  // alpha, to be ignored
    } else {
        AppendColour(out, ExpectedColour(v, x, y), v.depth);
    }
    return out;
}

// Pixels in the order the file stores them, for the variant's origin.
std::vector<std::vector<std::uint8_t>> StoredPixels(const Variant& v) {
    std::vector<std::vector<std::uint8_t>> pixels;
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col) {
            const int y = (v.descriptorOrigin & 0x20) ? row : kHeight - 1 - row;
            const int x = (v.descriptorOrigin & 0x10) ? kWidth - 1 - col : col;
            pixels.push_back(StoredPixel(v, x, y));
        }
    return pixels;
}

// Greedy RLE over the whole pixel stream: a run packet for repeats, raw packets between.
void AppendRle(std::vector<std::uint8_t>& out, const std::vector<std::vector<std::uint8_t>>& pixels) {
    for (std::size_t i = 0; i < pixels.size();) {
        std::size_t run = 1;
        while (i + run < pixels.size() && run < 128 && pixels[i + run] == pixels[i]) ++run;
        if (run > 1) {
            out.push_back(static_cast<std::uint8_t>(0x80 | (run - 1)));
            out.insert(out.end(), pixels[i].begin(), pixels[i].end());
            i += run;
            continue;
        }
        std::size_t raw = 1;
        while (i + raw < pixels.size() && raw < 128 && pixels[i + raw] != pixels[i + raw - 1]) ++raw;
        if (i + raw < pixels.size() && raw > 1) --raw;  // leave the start of the next run to it
        out.push_back(static_cast<std::uint8_t>(raw - 1));
        for (std::size_t k = 0; k < raw; ++k) out.insert(out.end(), pixels[i + k].begin(), pixels[i + k].end());
        i += raw;
    }
}

std::vector<std::uint8_t> BuildTga(const Variant& v) {
    const int mapLength = v.colourMapDepth ? static_cast<int>(kFiveBitPalette.size()) : 0;
    std::vector<std::uint8_t> out = {
        static_cast<std::uint8_t>(v.idLength),
        static_cast<std::uint8_t>(v.colourMapDepth ? 1 : 0),
        static_cast<std::uint8_t>(v.type),
        static_cast<std::uint8_t>(v.colourMapFirst & 0xFF),
        static_cast<std::uint8_t>(v.colourMapFirst >> 8),
        static_cast<std::uint8_t>(mapLength),
        0,
        static_cast<std::uint8_t>(v.colourMapDepth),
        0,
        0,
        0,
        0,
        kWidth,
        0,
        kHeight,
        0,
        static_cast<std::uint8_t>(v.depth),
        static_cast<std::uint8_t>(v.descriptorOrigin | (v.depth == 32                   ? 8
                                                        : v.depth == 16 && !IsMapped(v) ? 1
                                                                                        : 0))};
    for (int i = 0; i < v.idLength; ++i) out.push_back(static_cast<std::uint8_t>('A' + i % 26));
    for (const auto& entry : kFiveBitPalette)
        if (v.colourMapDepth)
            AppendColour(out, {Expand5(entry[0]), Expand5(entry[1]), Expand5(entry[2])}, v.colourMapDepth);
    const auto pixels = StoredPixels(v);
    if (v.type >= 9) {
        AppendRle(out, pixels);
    } else {
        for (const auto& p : pixels) out.insert(out.end(), p.begin(), p.end());
    }
    if (v.footer) {
        for (int i = 0; i < 8; ++i) out.push_back(0);  // extension and developer offsets
        for (const char c : std::string("TRUEVISION-XFILE.")) out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

Result<RgbImage> DecodeBytes(const std::vector<std::uint8_t>& bytes, TgaDecodePath path = TgaDecodePath::Fast) {
    MemorySource source(bytes);
    return ReadTga(source, {}, path);
}

const Variant kVariants[] = {
    {"true colour 24", 2, 24, 0, 0, 0x00, 0, false},
    {"true colour 32 with alpha", 2, 32, 0, 0, 0x00, 0, false},
    {"true colour 16", 2, 16, 0, 0, 0x00, 0, false},
    {"true colour 15", 2, 15, 0, 0, 0x00, 0, false},
    {"top-left origin", 2, 24, 0, 0, 0x20, 0, false},
    {"bottom-right origin", 2, 24, 0, 0, 0x10, 0, false},
    {"top-right origin", 2, 24, 0, 0, 0x30, 0, false},
    {"image ID of 255 bytes", 2, 24, 0, 0, 0x00, 255, false},
    {"TGA 2.0 footer", 2, 24, 0, 0, 0x00, 3, true},
    {"true colour with an unused colour map", 2, 24, 24, 0, 0x00, 0, false},
    {"RLE 24 across rows", 10, 24, 0, 0, 0x00, 0, false},
    {"RLE 32 top-left", 10, 32, 0, 0, 0x20, 0, false},
    {"RLE 16 top-right", 10, 16, 0, 0, 0x30, 0, false},
    {"grey 8", 3, 8, 0, 0, 0x00, 0, false},
    {"grey 16 with alpha", 3, 16, 0, 0, 0x20, 0, false},
    {"RLE grey 8", 11, 8, 0, 0, 0x00, 0, false},
    {"colour map 24, index 8", 1, 8, 24, 0, 0x00, 0, false},
    {"colour map 32, index 8, first entry 3", 1, 8, 32, 3, 0x20, 0, false},
    {"colour map 16, index 16, first entry 300", 1, 16, 16, 300, 0x00, 0, false},
    {"colour map 15, index 8", 1, 8, 15, 0, 0x10, 0, false},
    {"RLE colour map 24, first entry 250", 9, 8, 24, 250, 0x00, 0, true},
};

// Every layout through both decode paths: the fast ones for the common layouts must give the
// same pixels as the general one, and both the stored ones.
TEST(TgaReader, DecodesEveryLayoutToTheStoredPixels) {
    for (const Variant& v : kVariants)
        for (const TgaDecodePath path : {TgaDecodePath::Fast, TgaDecodePath::General}) {
            SCOPED_TRACE(std::string(v.name) + (path == TgaDecodePath::Fast ? ", fast path" : ", general path"));
            const Result<RgbImage> image = DecodeBytes(BuildTga(v), path);
            ASSERT_TRUE(image) << NumberAndReason(image.Error());
            ASSERT_EQ(image->width, kWidth);
            ASSERT_EQ(image->height, kHeight);
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) EXPECT_EQ(image->At(x, y), ExpectedColour(v, x, y)) << x << "," << y;
        }
}

TEST(TgaReader, FastPathsMatchTheGeneralPathOnLargeImages) {
    // Wide enough that rows and RLE packets straddle the read buffer's refills.
    constexpr int kBigWidth = 2016;
    constexpr int kBigHeight = 70;
    for (const Variant& base : kVariants) {
        if (base.depth < 24 || (base.type != 2 && base.type != 10)) continue;
        SCOPED_TRACE(base.name);
        std::vector<std::uint8_t> bytes(18);
        bytes[2] = static_cast<std::uint8_t>(base.type);
        bytes[12] = kBigWidth & 0xFF, bytes[13] = kBigWidth >> 8, bytes[14] = kBigHeight,
        bytes[16] = static_cast<std::uint8_t>(base.depth);
        bytes[17] = static_cast<std::uint8_t>(base.descriptorOrigin);
        const std::size_t bpp = static_cast<std::size_t>(base.depth / 8);
        for (int i = 0, left = kBigWidth * kBigHeight; left > 0; ++i) {
            const int length = 1 + (i * 37) % 128 > left ? left : 1 + (i * 37) % 128;
            const bool run = base.type == 10 && i % 3 == 0;
            if (base.type == 10) bytes.push_back(static_cast<std::uint8_t>((run ? 0x80 : 0) | (length - 1)));
            for (int p = 0; p < (run ? 1 : length); ++p)
                for (std::size_t c = 0; c < bpp; ++c)
                    bytes.push_back(static_cast<std::uint8_t>(i * 7 + p * 13 + c * 101));
            left -= length;
        }
        const Result<RgbImage> fast = DecodeBytes(bytes, TgaDecodePath::Fast);
        const Result<RgbImage> general = DecodeBytes(bytes, TgaDecodePath::General);
        ASSERT_TRUE(fast);
        ASSERT_TRUE(general);
        EXPECT_EQ(*fast, *general);
    }
}

TEST(TgaReader, FiveBitChannelsSpanTheFullRange) {
    EXPECT_EQ(Expand5(0), 0);
    Variant v{"15", 2, 15, 0, 0, 0, 0, false};
    const Result<RgbImage> image = DecodeBytes(BuildTga(v));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->At(3, 0), (Rgb{255, 255, 255}));  // palette entry {31, 31, 31}
    EXPECT_EQ(image->At(0, 0), (Rgb{0, 0, 0}));
}

// Counts what a decoder asks of its source.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(ByteSource& inner) : inner_(inner) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        requested += out.size();
        return inner_.ReadAt(offset, out);
    }
    std::uint64_t requested = 0;

private:
    ByteSource& inner_;
};

// A source that claims to be enormous behind the image: a decoder must not read it.
class EndlessTail final : public ByteSource {
public:
    explicit EndlessTail(std::vector<std::uint8_t> image) : image_(std::move(image)) {}
    std::uint64_t Size() const override { return std::uint64_t{1} << 40; }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        std::fill(out.begin(), out.end(), std::uint8_t{0xAB});
        if (offset < image_.size())
            std::copy_n(image_.begin() + static_cast<std::ptrdiff_t>(offset),
                        std::min<std::size_t>(out.size(), image_.size() - offset), out.begin());
        return out.size();
    }

private:
    std::vector<std::uint8_t> image_;
};

TEST(TgaReader, ReadsOnlyWhatTheHeaderDeclares) {
    for (const Variant& v : kVariants)
        for (const TgaDecodePath path : {TgaDecodePath::Fast, TgaDecodePath::General}) {
            SCOPED_TRACE(v.name);
            const auto bytes = BuildTga(v);
            EndlessTail tail(bytes);
            CountingSource counting(tail);
            const Result<RgbImage> image = ReadTga(counting, {}, path);
            ASSERT_TRUE(image);
            EXPECT_EQ(*image, *DecodeBytes(bytes, path));
            // The header twice (size, then read), the ID, the colour map, and at most what the
            // pixel data can take: every pixel stored apart, behind a packet byte of its own.
            const TgaHeader h = *ParseTgaHeader(bytes);
            EXPECT_LE(counting.requested,
                      kTgaHeaderSize + h.PixelDataOffset() + h.PixelCount() * (1 + h.BytesPerPixel()));
        }
}

using Mutation = std::function<void(std::vector<std::uint8_t>&)>;

struct Malformed {
    const char* name;
    Variant base;
    Mutation mutate;
    ErrorKind expected;
};

const Variant kPlain{"plain", 2, 24, 0, 0, 0, 0, false};
const Variant kRle{"rle", 10, 24, 0, 0, 0, 0, false};
const Variant kMapped{"mapped", 1, 8, 24, 0, 0, 0, false};

void SetWord(std::vector<std::uint8_t>& b, std::size_t at, int value) {
    b[at] = static_cast<std::uint8_t>(value & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

const Malformed kMalformed[] = {
    {"empty file", kPlain, [](auto& b) { b.clear(); }, errc::TruncatedHeader},
    {"truncated header", kPlain, [](auto& b) { b.resize(17); }, errc::TruncatedHeader},
    {"no image data (type 0)", kPlain, [](auto& b) { b[2] = 0; }, errc::UnknownType},
    {"Huffman-coded type 32", kPlain, [](auto& b) { b[2] = 32; }, errc::UnknownType},
    {"colour-map type 2", kPlain, [](auto& b) { b[1] = 2; }, errc::UnknownColourMapType},
    {"colour-mapped without map", kMapped, [](auto& b) { b[1] = 0; }, errc::MissingColourMap},
    {"colour map of length 0", kMapped, [](auto& b) { SetWord(b, 5, 0); }, errc::MissingColourMap},
    {"colour-map entries of 8 bits", kMapped, [](auto& b) { b[7] = 8; }, errc::BadColourMapDepth},
    {"true colour of 8 bits", kPlain, [](auto& b) { b[16] = 8; }, errc::BadPixelDepth},
    {"true colour of 31 bits", kPlain, [](auto& b) { b[16] = 31; }, errc::BadPixelDepth},
    {"grey of 24 bits", kPlain, [](auto& b) { b[2] = 3; }, errc::BadPixelDepth},
    {"colour-mapped index of 24 bits", kMapped, [](auto& b) { b[16] = 24; }, errc::BadPixelDepth},
    {"interleaved", kPlain, [](auto& b) { b[17] |= 0x40; }, errc::Interleaved},
    {"zero width", kPlain, [](auto& b) { SetWord(b, 12, 0); }, errc::ZeroSize},
    {"zero height", kPlain, [](auto& b) { SetWord(b, 14, 0); }, errc::ZeroSize},
    {"truncated colour map", kMapped, [](auto& b) { b.resize(18 + 10); }, errc::TruncatedColourMap},
    {"truncated pixels", kPlain, [](auto& b) { b.pop_back(); }, errc::TruncatedPixels},
    {"huge size, tiny file", kPlain, [](auto& b) { SetWord(b, 12, 65535), SetWord(b, 14, 65535); },
     errc::TruncatedPixels},
    {"RLE, huge size, tiny file", kRle, [](auto& b) { SetWord(b, 12, 65535), SetWord(b, 14, 65535); },
     errc::TruncatedPixels},
    {"RLE without packets", kRle, [](auto& b) { b.resize(18); }, errc::TruncatedPixels},
    {"RLE ends inside a packet", kRle, [](auto& b) { b.resize(b.size() - 1); }, errc::TruncatedPixels},
    {"RLE runs past the image", kRle,
     [](auto& b) {
         b.insert(b.begin() + 18, {0xFF, 1, 2, 3});
     },
     errc::RleOverrun},
    {"colour index past the map", kMapped, [](auto& b) { b.back() = 6; }, errc::ColourIndexRange},
    {"colour index before the first entry", kMapped, [](auto& b) { SetWord(b, 3, 1); }, errc::ColourIndexRange},
    {"not a TGA at all", kPlain,
     [](auto& b) {
         const std::string text = "This is a text file, not an image; it says nothing about pixels.";
         b.assign(text.begin(), text.end());
     },
     errc::UnknownType},
};

// Through the files the program reads; nothing is allocated for data a file cannot hold.
TEST(TgaReader, RefusesMalformedFilesWithTheirOwnCode) {
    TempDir dir;
    for (const Malformed& m : kMalformed) {
        SCOPED_TRACE(m.name);
        auto bytes = BuildTga(m.base);
        m.mutate(bytes);
        WriteBytes(dir / "bad.tga", bytes);
        const Result<RgbImage> image = ReadImage(SystemFileSystem(), dir / "bad.tga", CoreDecoders(), {});
        ASSERT_FALSE(image);
        EXPECT_EQ(image.Error().code, m.expected);
        MemorySource source(bytes);
        const Result<RgbImage> general = ReadTga(source, {}, TgaDecodePath::General);
        ASSERT_FALSE(general);
        EXPECT_EQ(general.Error().code, m.expected) << "general path";
    }
}

// A file's rows are read in one scattered read; the file and the in-memory source must fill
// the same pieces in the same way, also across the system's limit on pieces per call and where
// the data ends early.
TEST(ScatteredReads, FillThePiecesInTurnAndStopWhereTheSourceEnds) {
    std::vector<std::uint8_t> bytes(5000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
    const TempDir dir;
    WriteBytes(dir / "bytes", bytes);
    Result<InputFile> file = SystemFileSystem().Open(dir / "bytes");
    ASSERT_TRUE(file);
    const struct {
        const char* name;
        std::uint64_t offset;
        std::vector<std::size_t> pieces;
    } cases[] = {
        {"one piece", 0, {5000}},
        {"rows", 18, {100, 100, 100}},
        {"empty pieces among them", 7, {0, 10, 0, 0, 5}},
        {"more pieces than one call takes", 0, std::vector<std::size_t>(1500, 3)},
        {"the source ends in a piece", 4990, {4, 4, 4, 4}},
        {"the source ends between pieces", 4992, {4, 4, 4}},
        {"nothing left", 5000, {8}},
        {"past the end", 6000, {8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t wanted = std::accumulate(c.pieces.begin(), c.pieces.end(), std::size_t{0});
        const std::size_t available = c.offset >= bytes.size() ? 0 : bytes.size() - c.offset;
        const std::size_t expected = std::min(wanted, available);
        MemorySource memory(bytes);
        FileSource onDisk(*file);
        for (ByteSource* source : std::initializer_list<ByteSource*>{&memory, &onDisk}) {
            std::vector<std::uint8_t> out(wanted, 0xEE);
            std::vector<std::span<std::uint8_t>> pieces;
            std::size_t at = 0;
            for (const std::size_t size : c.pieces) pieces.emplace_back(out.data() + at, size), at += size;
            const Result<std::size_t> got = source->ReadScatteredAt(c.offset, pieces);
            ASSERT_TRUE(got);
            EXPECT_EQ(*got, expected);
            for (std::size_t i = 0; i < wanted; ++i)
                ASSERT_EQ(out[i], i < expected ? bytes[c.offset + i] : 0xEE) << "byte " << i;
            const Result<void> exact = ReadExactly(*source, c.offset, pieces, errc::TruncatedPixels);
            EXPECT_EQ(static_cast<bool>(exact), expected == wanted);
        }
    }
}

TEST(TgaReader, FileSystemFailures) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.tga");
    const struct {
        std::filesystem::path path;
        ErrorKind code;
        int systemError;
    } rows[] = {{dir / "missing.tga", errc::FileOpen, ENOENT}, {dir / "folder.tga", errc::NotAFile, EISDIR}};
    for (const auto& row : rows) {
        const Result<ImageSize> size = ReadImageSize(SystemFileSystem(), row.path, CoreDecoders());
        ASSERT_FALSE(size) << row.path;
        EXPECT_EQ(size.Error().code, row.code) << row.path;
        EXPECT_EQ(size.Error().systemError, row.systemError) << row.path;
        const Result<RgbImage> image = ReadImage(SystemFileSystem(), row.path, CoreDecoders(), {});
        ASSERT_FALSE(image) << row.path;
        EXPECT_EQ(image.Error().code, row.code) << row.path;
    }
}

TEST(TgaReader, SizeQueryReadsTheHeaderOnly) {
    TempDir dir;
    auto bytes = BuildTga(kPlain);
    bytes.resize(20);  // the pixels are cut off, the header is whole
    WriteBytes(dir / "cut.tga", bytes);
    const Result<ImageSize> size = ReadImageSize(SystemFileSystem(), dir / "cut.tga", CoreDecoders());
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (ImageSize{kWidth, kHeight}));
    const Result<RgbImage> image = ReadImage(SystemFileSystem(), dir / "cut.tga", CoreDecoders(), {});
    ASSERT_FALSE(image);
    EXPECT_EQ(image.Error().code, errc::TruncatedPixels);
}

TEST(TgaReader, ReadRefusesASizeOtherThanTheOneAskedFor) {
    const std::vector<std::uint8_t> bytes = BuildTga(kPlain);
    const struct {
        ImageSize expected;
        bool reads;
    } rows[] = {
        {{504, 504}, false}, {{kWidth, 0}, true}, {{0, kHeight}, true}, {{kWidth, kHeight + 1}, false}, {{}, true}};
    for (const auto& row : rows) {
        MemorySource source(bytes);
        const Result<RgbImage> image = ReadTga(source, row.expected);
        EXPECT_EQ(static_cast<bool>(image), row.reads) << row.expected.width << "x" << row.expected.height;
        if (!image) {
            EXPECT_EQ(image.Error().code, errc::UnexpectedSize);
        }
    }
}

}  // namespace
}  // namespace zenivor::test
