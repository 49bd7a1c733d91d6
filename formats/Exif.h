#pragma once
// The one Exif field the decoders use: the orientation, which says how the stored pixels
// are turned and mirrored against the upright picture.

#include <cstdint>
#include <span>

namespace zenivor::formats {

inline constexpr int kUprightOrientation = 1;

// The orientation (1 to 8) in Exif data that starts at its TIFF header ("II" or "MM"), as
// PNG's eXIf chunk holds it. Missing, malformed or out-of-range data gives 1: a damaged
// Exif block must not lose the picture, which is still all there.
int ExifOrientation(std::span<const std::uint8_t> tiff);

// The same for a JPEG APP1 segment's contents, which put "Exif\0\0" before the TIFF header;
// 1 for any other APP1 segment.
int App1Orientation(std::span<const std::uint8_t> segment);
// Whether an APP1 segment's contents are Exif data.
bool IsExifSegment(std::span<const std::uint8_t> segment);

}  // namespace zenivor::formats
