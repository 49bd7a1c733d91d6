#include "imaging/Tga.h"
#include "imaging/PixelLoops.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "util/FileSystem.h"

namespace zenivor {
namespace {

int Word(std::span<const std::uint8_t> bytes, std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); }

// 5-bit channels widen so that 0 stays 0 and 31 becomes 255.
std::uint8_t Expand5(int value) { return static_cast<std::uint8_t>((value << 3) | (value >> 2)); }

bool IsColourDepth(int depth) { return depth == 15 || depth == 16 || depth == 24 || depth == 32; }

// One stored colour, as B, G, R (, A) or as ARRRRRGG GGGBBBBB.
Rgb ColourFrom(const std::uint8_t* p, int depth) {
    if (depth == 15 || depth == 16) {
        const int value = p[0] | (p[1] << 8);
        return {Expand5((value >> 10) & 31), Expand5((value >> 5) & 31), Expand5(value & 31)};
    }
    return {p[2], p[1], p[0]};
}

bool DepthFitsType(const TgaHeader& h) {
    switch (h.imageType) {
        case 1:
        case 9: return h.pixelDepth == 8 || h.pixelDepth == 16;
        case 2:
        case 10: return IsColourDepth(h.pixelDepth);
        case 3:
        case 11: return h.pixelDepth == 8 || h.pixelDepth == 16;  // 16: grey with alpha
        default: return false;
    }
}

Result<void> CheckHeader(const TgaHeader& h) {
    constexpr int kTypes[] = {1, 2, 3, 9, 10, 11};
    if (std::find(std::begin(kTypes), std::end(kTypes), h.imageType) == std::end(kTypes))
        return Error{errc::UnknownType};
    if (h.colourMapType != 0 && h.colourMapType != 1) return Error{errc::UnknownColourMapType};
    if (h.ColourMapped() && (h.colourMapType != 1 || h.colourMapLength == 0)) return Error{errc::MissingColourMap};
    if (h.colourMapType == 1 && !IsColourDepth(h.colourMapDepth)) return Error{errc::BadColourMapDepth};
    if (!DepthFitsType(h)) return Error{errc::BadPixelDepth};
    if ((h.descriptor & 0xC0) != 0) return Error{errc::Interleaved};
    if (h.width == 0 || h.height == 0) return Error{errc::ZeroSize};
    return {};
}

// The most bytes RLE data can take: every packet a raw packet of one pixel.
std::uint64_t MaximumRleBytes(const TgaHeader& h) { return h.PixelCount() * (1 + h.BytesPerPixel()); }

// Hands out the pixel data in pieces from a fixed buffer, reading on as it empties; never
// reads past the end of what the header can have declared.
class StreamReader {
public:
    StreamReader(ByteSource& source, std::uint64_t offset, std::uint64_t limit)
        : source_(source), offset_(offset), limit_(std::min(limit, source.Size())) {}

    // The next count bytes, contiguous; TruncatedPixels where the data ends first.
    Result<const std::uint8_t*> Take(std::size_t count) {
        if (end_ - begin_ < count) {
            if (auto filled = Fill(count); !filled) return filled.Error();
        }
        const std::uint8_t* bytes = buffer_.data() + begin_;
        begin_ += count;
        return bytes;
    }

private:
    Result<void> Fill(std::size_t count) {
        const std::size_t kept = end_ - begin_;
        if (buffer_.size() < std::max(count, kReadChunkBytes)) buffer_.resize(std::max(count, kReadChunkBytes));
        std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
        begin_ = 0;
        end_ = kept;
        const std::uint64_t wanted = std::min<std::uint64_t>(buffer_.size() - kept, limit_ - std::min(offset_, limit_));
        const Result<std::size_t> got =
            source_.ReadAt(offset_, {buffer_.data() + kept, static_cast<std::size_t>(wanted)});
        if (!got) return got.Error();
        offset_ += *got;
        end_ += *got;
        if (end_ < count) return Error{errc::TruncatedPixels};
        return {};
    }

    ByteSource& source_;
    std::uint64_t offset_;
    std::uint64_t limit_;
    PixelBytes buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// Turns one stored pixel into RGB: a colour, a grey value or an index into the colour map.
class PixelConverter {
public:
    PixelConverter(const TgaHeader& h, std::vector<Rgb> palette) : header_(h), palette_(std::move(palette)) {}

    bool Convert(const std::uint8_t* p, Rgb& rgb) const {
        if (header_.ColourMapped()) {
            const int index = header_.pixelDepth == 8 ? p[0] : p[0] | (p[1] << 8);
            const int entry = index - header_.colourMapFirst;
            if (entry < 0 || entry >= static_cast<int>(palette_.size())) return false;
            rgb = palette_[static_cast<std::size_t>(entry)];
        } else if (header_.Grey()) {
            rgb = {p[0], p[0], p[0]};
        } else {
            rgb = ColourFrom(p, header_.pixelDepth);
        }
        return true;
    }

private:
    const TgaHeader& header_;
    std::vector<Rgb> palette_;
};

Result<std::vector<Rgb>> ReadPalette(ByteSource& source, const TgaHeader& h) {
    std::vector<Rgb> palette;
    if (!h.ColourMapped()) return palette;
    std::vector<std::uint8_t> bytes(h.ColourMapBytes());
    const std::uint64_t at = kTgaHeaderSize + static_cast<std::uint64_t>(h.idLength);
    if (auto read = ReadExactly(source, at, bytes, errc::TruncatedColourMap); !read) return read.Error();
    const std::size_t entryBytes = static_cast<std::size_t>(h.colourMapDepth + 7) / 8;
    for (std::size_t i = 0; i < static_cast<std::size_t>(h.colourMapLength); ++i)
        palette.push_back(ColourFrom(bytes.data() + i * entryBytes, h.colourMapDepth));
    return palette;
}

// Where the pixels of file row r go: the file stores rows bottom first unless its origin is at
// the top, and pixels right to left when its origin is on the right.
std::uint8_t* RowStart(RgbImage& out, const TgaHeader& h, int fileRow) {
    std::uint8_t* row = out.Row(h.TopToBottom() ? fileRow : h.height - 1 - fileRow);
    return h.RightToLeft() ? row + (static_cast<std::size_t>(h.width) - 1) * 3 : row;
}
std::ptrdiff_t PixelStep(const TgaHeader& h) { return h.RightToLeft() ? -3 : 3; }

// ---- The general path: one pixel at a time, every layout.

class PixelPlacer {
public:
    PixelPlacer(const TgaHeader& h, RgbImage& out) : header_(h), out_(out) {}

    void Put(const Rgb& rgb) {
        if (x_ == 0) target_ = RowStart(out_, header_, y_);
        RgbImage::Store(target_, rgb);
        target_ += PixelStep(header_);
        if (++x_ == header_.width) x_ = 0, ++y_;
    }

private:
    const TgaHeader& header_;
    RgbImage& out_;
    std::uint8_t* target_ = nullptr;
    int x_ = 0;
    int y_ = 0;
};

Result<void> DecodeGeneral(StreamReader& reader, const TgaHeader& h, const PixelConverter& convert, RgbImage& out) {
    const std::size_t step = h.BytesPerPixel();
    PixelPlacer place(h, out);
    Rgb rgb{};
    for (std::uint64_t done = 0, count = h.PixelCount(); done < count;) {
        bool run = false;
        std::uint64_t length = 1;
        if (h.Compressed()) {  // packets may run across rows, as TGA 2.0 allows
            const auto packet = reader.Take(1);
            if (!packet) return packet.Error();
            run = (**packet & 0x80) != 0;
            length = (**packet & 0x7Fu) + 1u;
            if (length > count - done) return Error{errc::RleOverrun};
        }
        for (std::uint64_t i = 0; i < length; ++i) {
            if (i == 0 || !run) {
                const auto stored = reader.Take(step);
                if (!stored) return stored.Error();
                if (!convert.Convert(*stored, rgb)) return Error{errc::ColourIndexRange};
            }
            place.Put(rgb);
        }
        done += length;
    }
    return {};
}

// ---- The fast paths: 24 and 32 bits, a row or a packet at a time.

bool HasFastPath(const TgaHeader& h) { return (h.imageType == 2 || h.imageType == 10) && h.pixelDepth >= 24; }

// Stored B, G, R (, A) pixels into the image, walking the target by step: the image keeps TGA's
// byte order, so only an alpha byte is left behind.
void CopyStored(const std::uint8_t* source, std::size_t count, std::size_t bytesPerPixel, std::uint8_t* target,
                std::ptrdiff_t step) {
    if (bytesPerPixel == 3 && step == 3) {
        std::memcpy(target, source, 3 * count);
        return;
    }
    for (std::size_t i = 0; i < count; ++i, source += bytesPerPixel, target += step) std::memcpy(target, source, 3);
}

// The image's rows in the order the file stores them.
std::vector<std::span<std::uint8_t>> RowsInFileOrder(RgbImage& out, const TgaHeader& h) {
    std::vector<std::span<std::uint8_t>> rows;
    rows.reserve(static_cast<std::size_t>(h.height));
    for (int fileRow = 0; fileRow < h.height; ++fileRow)
        rows.emplace_back(out.Row(h.TopToBottom() ? fileRow : h.height - 1 - fileRow), out.RowBytes());
    return rows;
}

// Uncompressed 24 bits: the file's rows are exactly the image's, so each is read straight into
// its place, in one read; only a right-to-left file has its rows turned round after.
Result<void> DecodeRaw24InPlace(ByteSource& source, const TgaHeader& h, RgbImage& out) {
    const auto rows = RowsInFileOrder(out, h);
    if (auto read = ReadExactly(source, h.PixelDataOffset(), rows, errc::TruncatedPixels); !read) return read;
    if (h.RightToLeft())
        for (int y = 0; y < h.height; ++y) ReversePixels(out.Row(y), static_cast<std::size_t>(h.width));
    return {};
}

// Uncompressed 32 bits: whole rows from the read buffer.
Result<void> DecodeRawRows(StreamReader& reader, const TgaHeader& h, RgbImage& out) {
    const std::size_t storedRow = static_cast<std::size_t>(h.width) * h.BytesPerPixel();
    for (int row = 0; row < h.height; ++row) {
        const auto stored = reader.Take(storedRow);
        if (!stored) return stored.Error();
        CopyStored(*stored, static_cast<std::size_t>(h.width), h.BytesPerPixel(), RowStart(out, h, row), PixelStep(h));
    }
    return {};
}

// RLE 24 and 32 bits: each packet converted once and written a row piece at a time.
Result<void> DecodeRleRows(StreamReader& reader, const TgaHeader& h, RgbImage& out) {
    const std::size_t bytesPerPixel = h.BytesPerPixel();
    const std::ptrdiff_t step = PixelStep(h);
    int row = 0;
    int x = 0;
    for (std::uint64_t done = 0, count = h.PixelCount(); done < count;) {
        const auto packet = reader.Take(1);
        if (!packet) return packet.Error();
        const bool run = (**packet & 0x80) != 0;
        std::size_t length = (**packet & 0x7Fu) + 1u;
        if (length > count - done) return Error{errc::RleOverrun};
        const auto stored = reader.Take(run ? bytesPerPixel : bytesPerPixel * length);
        if (!stored) return stored.Error();
        const std::uint8_t* source = *stored;
        done += length;
        while (length > 0) {
            const std::size_t piece = std::min(length, static_cast<std::size_t>(h.width - x));
            std::uint8_t* target = RowStart(out, h, row) + x * step;
            if (run) {
                for (std::size_t i = 0; i < piece; ++i, target += step) std::memcpy(target, source, 3);
            } else {
                CopyStored(source, piece, bytesPerPixel, target, step);
                source += piece * bytesPerPixel;
            }
            length -= piece;
            x += static_cast<int>(piece);
            if (x == h.width) x = 0, ++row;
        }
    }
    return {};
}

Result<void> DecodePixels(ByteSource& source, const TgaHeader& h, TgaDecodePath path, RgbImage& out) {
    const std::uint64_t data = h.PixelDataOffset();
    if (path == TgaDecodePath::Fast && HasFastPath(h)) {
        if (!h.Compressed() && h.pixelDepth == 24) return DecodeRaw24InPlace(source, h, out);
        StreamReader reader(source, data, data + MaximumRleBytes(h));
        return h.Compressed() ? DecodeRleRows(reader, h, out) : DecodeRawRows(reader, h, out);
    }
    auto palette = ReadPalette(source, h);
    if (!palette) return palette.Error();
    const PixelConverter convert(h, std::move(*palette));
    StreamReader reader(source, data, data + MaximumRleBytes(h));
    return DecodeGeneral(reader, h, convert, out);
}

class Decoder final : public ImageDecoder {
public:
    std::string_view Name() const override { return "TGA"; }
    // TGA has no signature: it is what a file is taken for when no other format claims it.
    bool Recognises(std::span<const std::uint8_t>) const override { return true; }
    Result<ImageSize> ReadSize(ByteSource& source) const override {
        const Result<TgaHeader> header = ReadTgaHeader(source);
        if (!header) return header.Error();
        const ImageSize size{header->width, header->height};
        if (Result<void> decodable = CheckDecodableSize(size); !decodable) return decodable.Error();
        return size;
    }
    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override { return ReadTga(source, expected); }
};

}  // namespace

std::size_t TgaHeader::ColourMapBytes() const {
    if (colourMapType != 1) return 0;
    return static_cast<std::size_t>(colourMapLength) * static_cast<std::size_t>((colourMapDepth + 7) / 8);
}

std::uint64_t TgaHeader::PixelDataOffset() const {
    return kTgaHeaderSize + static_cast<std::uint64_t>(idLength) + ColourMapBytes();
}

Result<TgaHeader> ParseTgaHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kTgaHeaderSize) return Error{errc::TruncatedHeader};
    TgaHeader h;
    h.idLength = bytes[0];
    h.colourMapType = bytes[1];
    h.imageType = bytes[2];
    h.colourMapFirst = Word(bytes, 3);
    h.colourMapLength = Word(bytes, 5);
    h.colourMapDepth = bytes[7];
    h.width = Word(bytes, 12);
    h.height = Word(bytes, 14);
    h.pixelDepth = bytes[16];
    h.descriptor = bytes[17];
    if (auto checked = CheckHeader(h); !checked) return checked.Error();
    return h;
}

Result<TgaHeader> ReadTgaHeader(ByteSource& source) {
    std::array<std::uint8_t, kTgaHeaderSize> bytes{};
    const Result<std::size_t> got = source.ReadAt(0, bytes);
    if (!got) return got.Error();
    return ParseTgaHeader(std::span(bytes).first(*got));
}

std::uint64_t MinimumTgaFileSize(const TgaHeader& h) {
    const std::uint64_t pixels = h.PixelCount();
    // An RLE packet holds at most 128 pixels in one count byte and one stored pixel.
    const std::uint64_t data =
        h.Compressed() ? (pixels + 127) / 128 * (1 + h.BytesPerPixel()) : pixels * h.BytesPerPixel();
    return h.PixelDataOffset() + data;
}

Result<void> ReadTgaInto(ByteSource& source, ImageSize expected, RgbImage& out, TgaDecodePath path) {
    const Result<TgaHeader> header = ReadTgaHeader(source);
    if (!header) return header.Error();
    const TgaHeader& h = *header;
    if ((expected.width != 0 && expected.width != h.width) || (expected.height != 0 && expected.height != h.height))
        return Error{errc::UnexpectedSize};
    // Nothing is allocated for data the source cannot hold, nor for more pixels than any panorama.
    if (source.Size() < h.PixelDataOffset()) return Error{errc::TruncatedColourMap};
    if (source.Size() < MinimumTgaFileSize(h)) return Error{errc::TruncatedPixels};
    if (h.PixelCount() > kMaxImagePixels) return Error{errc::TooLarge};
    try {
        out.Resize(h.width, h.height);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    return DecodePixels(source, h, path, out);
}

Result<RgbImage> ReadTga(ByteSource& source, ImageSize expected, TgaDecodePath path) {
    RgbImage image;
    if (auto read = ReadTgaInto(source, expected, image, path); !read) return read.Error();
    return image;
}

std::array<std::uint8_t, kTgaHeaderSize> Tga24Header(const RgbImage& image) {
    std::array<std::uint8_t, kTgaHeaderSize> header{};
    header[2] = 2;
    header[12] = static_cast<std::uint8_t>(image.width & 0xFF);
    header[13] = static_cast<std::uint8_t>(image.width >> 8);
    header[14] = static_cast<std::uint8_t>(image.height & 0xFF);
    header[15] = static_cast<std::uint8_t>(image.height >> 8);
    header[16] = 24;
    return header;
}

std::vector<std::span<const std::uint8_t>> Tga24Pieces(const RgbImage& image,
                                                       const std::array<std::uint8_t, kTgaHeaderSize>& header) {
    std::vector<std::span<const std::uint8_t>> pieces;
    pieces.reserve(static_cast<std::size_t>(image.height) + 1);
    pieces.emplace_back(header);
    for (int row = image.height - 1; row >= 0; --row) pieces.emplace_back(image.Row(row), image.RowBytes());
    return pieces;
}

const ImageDecoder& TgaDecoder() {
    static const Decoder decoder;
    return decoder;
}

}  // namespace zenivor
