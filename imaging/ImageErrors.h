#pragma once
// The kinds of error an image meets, beside the file ones of util/Result.h: those any decoder
// may report, and those of the fields of a TGA header, the format the core reads itself.

#include <span>

#include "util/Result.h"

namespace zenivor {
namespace errc {
inline constexpr ErrorKind TruncatedHeader{4, "the file is shorter than an image header"};  // an empty file too
inline constexpr ErrorKind UnknownType{5, "not a TGA image type Zenivor reads"};
inline constexpr ErrorKind UnknownColourMapType{6, "unknown colour-map type"};
inline constexpr ErrorKind BadColourMapDepth{7, "colour-map entries of an unknown depth"};
inline constexpr ErrorKind BadPixelDepth{8, "a pixel depth that does not fit the image type"};
inline constexpr ErrorKind Interleaved{9, "interleaved rows, which TGA 2.0 retired"};
inline constexpr ErrorKind ZeroSize{10, "a width or height of 0"};
inline constexpr ErrorKind MissingColourMap{11, "a colour-mapped image without a colour map"};
inline constexpr ErrorKind TruncatedColourMap{12, "the file ends inside its colour map"};
inline constexpr ErrorKind TruncatedPixels{13, "the file ends inside its pixel data"};
inline constexpr ErrorKind RleOverrun{14, "a compressed run goes past the last pixel"};
inline constexpr ErrorKind ColourIndexRange{15, "a colour index outside the colour map"};
inline constexpr ErrorKind UnexpectedSize{24, "the image has another size than expected"};
inline constexpr ErrorKind TooLarge{27, "the image is too large"};  // more pixels than the program will hold
inline constexpr ErrorKind UnknownFormat{28, "an image format Zenivor does not read"};
}  // namespace errc

// This layer's kinds, in order of their numbers.
std::span<const ErrorKind> ImageErrorKinds();

// Whether the error says that the file's header is no image header this program reads.
bool IsHeaderError(const Error& error);

}  // namespace zenivor
