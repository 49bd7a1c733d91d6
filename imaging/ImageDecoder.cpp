#include "imaging/ImageDecoder.h"

namespace zenivor {
namespace {

std::string SizeText(ImageSize size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height) + " pixels";
}

}  // namespace

Result<void> CheckDecodableSize(ImageSize size) {
    const auto pixels = static_cast<std::uint64_t>(size.width) * static_cast<std::uint64_t>(size.height);
    if (size.width > kMaxImageSide || size.height > kMaxImageSide || pixels > kMaxImagePixels)
        return Error{errc::TooLarge, 0, SizeText(size)};
    return {};
}

Result<void> CheckExpectedSize(ImageSize size, ImageSize expected) {
    const bool widthDiffers = expected.width != 0 && expected.width != size.width;
    const bool heightDiffers = expected.height != 0 && expected.height != size.height;
    if (widthDiffers || heightDiffers) return Error{errc::UnexpectedSize, 0, SizeText(size)};
    return {};
}

Result<void> CheckSize(ImageSize size, ImageSize expected) {
    if (Result<void> decodable = CheckDecodableSize(size); !decodable) return decodable;
    return CheckExpectedSize(size, expected);
}

Result<void> ImageDecoder::ReadRows(ByteSource& source, ImageSize expected, int largestFactor, RowSink& sink) const {
    const Result<RgbImage> image = ReadReduced(source, expected, largestFactor);
    if (!image) return image.Error();
    return HandOver(*image, sink);
}

Result<void> CheckDataCanHold(ImageSize size, std::uint64_t available, std::uint64_t minimumBytes) {
    if (available >= minimumBytes) return {};
    return Error{errc::TruncatedPixels, 0, "too short for the " + SizeText(size) + " it declares"};
}

}  // namespace zenivor
