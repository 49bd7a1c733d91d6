#include "imaging/ImageErrors.h"

#include <algorithm>
#include <array>

namespace zenivor {
namespace {

constexpr std::array kImageErrorKinds{
    errc::TruncatedHeader,   errc::UnknownType,      errc::UnknownColourMapType,
    errc::BadColourMapDepth, errc::BadPixelDepth,    errc::Interleaved,
    errc::ZeroSize,          errc::MissingColourMap, errc::TruncatedColourMap,
    errc::TruncatedPixels,   errc::RleOverrun,       errc::ColourIndexRange,
    errc::UnexpectedSize,    errc::TooLarge,         errc::UnknownFormat,
};

// A header too short, or with a field no image has: the file is not what its reader took it for.
constexpr std::array kHeaderErrorKinds{
    errc::TruncatedHeader, errc::UnknownType, errc::UnknownColourMapType, errc::BadColourMapDepth, errc::BadPixelDepth,
    errc::Interleaved,     errc::ZeroSize,    errc::MissingColourMap,
};

}  // namespace

std::span<const ErrorKind> ImageErrorKinds() { return kImageErrorKinds; }

bool IsHeaderError(const Error& error) {
    return error.systemError == 0 &&
           std::find(kHeaderErrorKinds.begin(), kHeaderErrorKinds.end(), error.code) != kHeaderErrorKinds.end();
}

}  // namespace zenivor
