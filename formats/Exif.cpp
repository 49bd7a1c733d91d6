#include "formats/Exif.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>

namespace zenivor::formats {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
constexpr std::size_t kEntryBytes = 12;
constexpr std::uint8_t kExifMark[] = {'E', 'x', 'i', 'f', 0, 0};

// Reads TIFF's numbers in the byte order its header names, refusing any read past the end.
class TiffView {
public:
    explicit TiffView(std::span<const std::uint8_t> bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::optional<std::uint16_t> U16(std::size_t at) const {
        if (at > bytes_.size() || bytes_.size() - at < 2) return std::nullopt;
        const unsigned first = bytes_[at], second = bytes_[at + 1];
        return static_cast<std::uint16_t>(bigEndian_ ? first << 8 | second : second << 8 | first);
    }
    std::optional<std::uint32_t> U32(std::size_t at) const {
        const auto first = U16(at), second = U16(at + 2);
        if (!first || !second) return std::nullopt;
        return bigEndian_ ? std::uint32_t{*first} << 16 | *second : std::uint32_t{*second} << 16 | *first;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_;
};

// The byte order of a TIFF header, or nothing when the header is not one.
std::optional<bool> BigEndianOrder(std::span<const std::uint8_t> tiff) {
    if (tiff.size() < 8) return std::nullopt;
    if (tiff[0] == 'M' && tiff[1] == 'M') return true;
    if (tiff[0] == 'I' && tiff[1] == 'I') return false;
    return std::nullopt;
}

// The orientation entry's value in the first image directory, if one is there and well formed.
std::optional<std::uint16_t> OrientationEntry(const TiffView& tiff) {
    if (tiff.U16(2) != 42) return std::nullopt;
    const std::optional<std::uint32_t> directory = tiff.U32(4);
    if (!directory) return std::nullopt;
    const std::optional<std::uint16_t> entries = tiff.U16(*directory);
    if (!entries) return std::nullopt;
    for (std::size_t index = 0; index < *entries; ++index) {
        const std::size_t entry = std::size_t{*directory} + 2 + index * kEntryBytes;
        const std::optional<std::uint16_t> tag = tiff.U16(entry);
        if (!tag) return std::nullopt;  // the directory runs past the data
        if (*tag != kOrientationTag) continue;
        if (tiff.U16(entry + 2) != kShortType || tiff.U32(entry + 4) != 1u) return std::nullopt;
        return tiff.U16(entry + 8);
    }
    return std::nullopt;
}

}  // namespace

int ExifOrientation(std::span<const std::uint8_t> tiff) {
    const std::optional<bool> bigEndian = BigEndianOrder(tiff);
    if (!bigEndian) return kUprightOrientation;
    const std::optional<std::uint16_t> value = OrientationEntry(TiffView(tiff, *bigEndian));
    if (!value || *value < 1 || *value > 8) return kUprightOrientation;
    return *value;
}

bool IsExifSegment(std::span<const std::uint8_t> segment) {
    return segment.size() >= sizeof kExifMark &&
           std::equal(std::begin(kExifMark), std::end(kExifMark), segment.begin());
}

int App1Orientation(std::span<const std::uint8_t> segment) {
    if (!IsExifSegment(segment)) return kUprightOrientation;
    return ExifOrientation(segment.subspan(sizeof kExifMark));
}

}  // namespace zenivor::formats
