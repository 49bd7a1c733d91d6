#include "imaging/Tga.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace zenivor {
namespace {

using Rgb = std::array<std::uint8_t, 3>;

int Word(std::span<const std::uint8_t> bytes, std::size_t at) { return bytes[at] | (bytes[at + 1] << 8); }

// 5-bit channels widen so that 0 stays 0 and 31 becomes 255.
std::uint8_t Expand5(int value) { return static_cast<std::uint8_t>((value << 3) | (value >> 2)); }

bool IsColourDepth(int depth) { return depth == 15 || depth == 16 || depth == 24 || depth == 32; }

// One stored pixel or colour-map entry, stored as B, G, R (, A) or as ARRRRRGG GGGBBBBB.
Rgb ColourFrom(const std::uint8_t* p, int depth) {
    if (depth == 15 || depth == 16) {
        const int value = p[0] | (p[1] << 8);
        return {Expand5((value >> 10) & 31), Expand5((value >> 5) & 31), Expand5(value & 31)};
    }
    return {p[2], p[1], p[0]};
}

bool DepthFitsType(const TgaHeader& h) {
    switch (h.imageType) {
        case 1: case 9: return h.pixelDepth == 8 || h.pixelDepth == 16;
        case 2: case 10: return IsColourDepth(h.pixelDepth);
        case 3: case 11: return h.pixelDepth == 8 || h.pixelDepth == 16;  // 16: grey with alpha
        default: return false;
    }
}

ImgError CheckHeader(const TgaHeader& h) {
    if (h.imageType != 1 && h.imageType != 2 && h.imageType != 3 && h.imageType != 9 && h.imageType != 10 &&
        h.imageType != 11)
        return kImgUnknownType;
    if (h.colorMapType != 0 && h.colorMapType != 1) return kImgUnknownColorMapType;
    if (h.ColorMapped() && (h.colorMapType != 1 || h.colorMapLength == 0)) return kImgMissingColorMap;
    if (h.colorMapType == 1 && !IsColourDepth(h.colorMapDepth)) return kImgBadColorMapDepth;
    if (!DepthFitsType(h)) return kImgBadPixelDepth;
    if ((h.descriptor & 0xC0) != 0) return kImgInterleaved;
    if (h.width == 0 || h.height == 0) return kImgZeroSize;
    return kImgOk;
}

// Turns stored pixels into RGB, one at a time, in the order the file holds them.
class PixelConverter {
public:
    PixelConverter(std::span<const std::uint8_t> file, const TgaHeader& h) : header_(h) {
        if (h.ColorMapped()) {
            const std::size_t entryBytes = static_cast<std::size_t>(h.colorMapDepth + 7) / 8;
            const std::uint8_t* entry = file.data() + kTgaHeaderSize + h.idLength;
            palette_.reserve(static_cast<std::size_t>(h.colorMapLength));
            for (int i = 0; i < h.colorMapLength; ++i, entry += entryBytes)
                palette_.push_back(ColourFrom(entry, h.colorMapDepth));
        }
    }

    bool Convert(const std::uint8_t* p, Rgb& rgb) const {
        if (!palette_.empty()) {
            const int index = header_.pixelDepth == 8 ? p[0] : p[0] | (p[1] << 8);
            const int entry = index - header_.colorMapFirst;
            if (entry < 0 || entry >= static_cast<int>(palette_.size())) return false;
            rgb = palette_[static_cast<std::size_t>(entry)];
        } else if (header_.imageType == 3 || header_.imageType == 11) {
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

// Places pixels in file order into the top-down, left-to-right output, whatever the origin.
class PixelPlacer {
public:
    PixelPlacer(const TgaHeader& h, std::uint8_t* out) : header_(h), out_(out) {}

    void Put(const Rgb& rgb) {
        const std::size_t row = static_cast<std::size_t>(header_.TopToBottom() ? y_ : header_.height - 1 - y_);
        const std::size_t col = static_cast<std::size_t>(header_.RightToLeft() ? header_.width - 1 - x_ : x_);
        std::memcpy(out_ + (row * static_cast<std::size_t>(header_.width) + col) * 3, rgb.data(), 3);
        if (++x_ == header_.width) x_ = 0, ++y_;
    }

private:
    const TgaHeader& header_;
    std::uint8_t* out_;
    int x_ = 0;
    int y_ = 0;
};

ImgError DecodeRaw(const std::uint8_t* data, const TgaHeader& h, const PixelConverter& convert, PixelPlacer& place) {
    const std::size_t step = h.BytesPerPixel();
    Rgb rgb{};
    for (std::size_t i = 0, count = h.PixelCount(); i < count; ++i, data += step) {
        if (!convert.Convert(data, rgb)) return kImgColorIndexRange;
        place.Put(rgb);
    }
    return kImgOk;
}

// Packets may run across rows (TGA 2.0 allows it, and many writers do it).
ImgError DecodeRle(const std::uint8_t* data, const std::uint8_t* end, const TgaHeader& h,
                   const PixelConverter& convert, PixelPlacer& place) {
    const std::size_t step = h.BytesPerPixel();
    Rgb rgb{};
    for (std::size_t done = 0, count = h.PixelCount(); done < count;) {
        if (data == end) return kImgTruncatedPixels;
        const bool run = (*data & 0x80) != 0;
        const std::size_t length = (*data++ & 0x7F) + 1u;
        if (length > count - done) return kImgRleOverrun;
        const std::size_t stored = run ? step : step * length;
        if (static_cast<std::size_t>(end - data) < stored) return kImgTruncatedPixels;
        for (std::size_t i = 0; i < length; ++i) {
            if ((i == 0 || !run) && !convert.Convert(data + (run ? 0 : i * step), rgb)) return kImgColorIndexRange;
            place.Put(rgb);
        }
        data += stored;
        done += length;
    }
    return kImgOk;
}

}  // namespace

std::size_t TgaHeader::ColorMapBytes() const {
    if (colorMapType != 1) return 0;
    return static_cast<std::size_t>(colorMapLength) * static_cast<std::size_t>((colorMapDepth + 7) / 8);
}

ImgError ParseTgaHeader(std::span<const std::uint8_t> bytes, TgaHeader& h) {
    if (bytes.size() < kTgaHeaderSize) return kImgTruncatedHeader;
    h.idLength = bytes[0];
    h.colorMapType = bytes[1];
    h.imageType = bytes[2];
    h.colorMapFirst = Word(bytes, 3);
    h.colorMapLength = Word(bytes, 5);
    h.colorMapDepth = bytes[7];
    h.width = Word(bytes, 12);
    h.height = Word(bytes, 14);
    h.pixelDepth = bytes[16];
    h.descriptor = bytes[17];
    return CheckHeader(h);
}

std::size_t MinimumTgaFileSize(const TgaHeader& h) {
    const std::size_t prefix = kTgaHeaderSize + static_cast<std::size_t>(h.idLength) + h.ColorMapBytes();
    const std::size_t pixels = h.PixelCount();
    // An RLE packet holds at most 128 pixels in one count byte and one stored pixel.
    const std::size_t data = h.Compressed() ? (pixels + 127) / 128 * (1 + h.BytesPerPixel()) : pixels * h.BytesPerPixel();
    return prefix + data;
}

ImgError CheckTgaFileSize(std::span<const std::uint8_t> file, const TgaHeader& h) {
    if (file.size() < kTgaHeaderSize + static_cast<std::size_t>(h.idLength) + h.ColorMapBytes())
        return kImgTruncatedColorMap;
    return file.size() < MinimumTgaFileSize(h) ? kImgTruncatedPixels : kImgOk;
}

ImgError DecodeTga(std::span<const std::uint8_t> file, const TgaHeader& h, std::uint8_t* out) {
    if (const ImgError error = CheckTgaFileSize(file, h)) return error;
    const std::size_t mapEnd = kTgaHeaderSize + static_cast<std::size_t>(h.idLength) + h.ColorMapBytes();
    const PixelConverter convert(file, h);
    PixelPlacer place(h, out);
    const std::uint8_t* data = file.data() + mapEnd;
    // Whatever follows the pixel data (a TGA 2.0 extension area and footer) is not needed.
    return h.Compressed() ? DecodeRle(data, file.data() + file.size(), h, convert, place)
                          : DecodeRaw(data, h, convert, place);
}

std::vector<std::uint8_t> EncodeTga24(const std::uint8_t* rgb, int width, int height) {
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t rows = static_cast<std::size_t>(height);
    std::vector<std::uint8_t> file(kTgaHeaderSize + w * rows * 3, 0);
    file[2] = 2;
    file[12] = static_cast<std::uint8_t>(width & 0xFF);
    file[13] = static_cast<std::uint8_t>(width >> 8);
    file[14] = static_cast<std::uint8_t>(height & 0xFF);
    file[15] = static_cast<std::uint8_t>(height >> 8);
    file[16] = 24;
    std::uint8_t* target = file.data() + kTgaHeaderSize;
    for (std::size_t row = rows; row-- > 0;) {  // bottom row first
        const std::uint8_t* source = rgb + row * w * 3;
        for (std::size_t x = 0; x < w; ++x, source += 3, target += 3) {
            target[0] = source[2];
            target[1] = source[1];
            target[2] = source[0];
        }
    }
    return file;
}

}  // namespace zenivor
