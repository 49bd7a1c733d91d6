// WebP through libwebp: lossy and lossless, with or without alpha (which is ignored), a colour
// profile applied where the file has one. libwebp decodes from the whole file in memory, which
// the RIFF header bounds; the pixels go straight into the image, at a reduced size where asked
// (libwebp's own scaling, done as it decodes), so a large panorama is never whole at full size.

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "formats/ColourProfile.h"
#include "formats/DecodeSupport.h"
#include "formats/ImageFormats.h"

namespace zenivor {
namespace {

using formats::ProfileInput;
using formats::ProfileTransform;

constexpr std::size_t kRiffHeaderBytes = 12;
// The RIFF size is 32 bits; files beyond this are no images the program takes.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{256} << 20;
// A lossless file of a few hundred bytes may hold a flat image of the largest size, so no floor
// on the data bounds what a whole decode takes: past this the image is decoded only reduced.
constexpr std::uint64_t kMaxWholeBytes = std::uint64_t{256} << 20;
// Enough of a file for its headers (VP8X, and the first frame's header after any chunks).
constexpr std::size_t kHeaderBytes = 64 << 10;

bool IsRiffWebp(std::span<const std::uint8_t> head) {
    return head.size() >= kRiffHeaderBytes && std::memcmp(head.data(), "RIFF", 4) == 0 &&
           std::memcmp(head.data() + 8, "WEBP", 4) == 0;
}

Error Damaged(const char* detail) { return Error{errc::BadWebp, 0, detail}; }

// The file's bytes as its RIFF header counts them; or, for its headers, at most the first
// kHeaderBytes of them that are there.
Result<std::vector<std::uint8_t>> ReadFile(ByteSource& source, bool whole) {
    std::uint8_t head[kRiffHeaderBytes];
    if (Result<void> read = ReadExactly(source, 0, head, errc::TruncatedHeader); !read) return read.Error();
    if (!IsRiffWebp(head)) return Damaged("no RIFF WebP header");
    const std::uint64_t riff = head[4] | head[5] << 8 | head[6] << 16 | std::uint64_t{head[7]} << 24;
    const std::uint64_t size = whole ? riff + 8 : std::min({riff + 8, std::uint64_t{kHeaderBytes}, source.Size()});
    if (size > kMaxFileBytes) return Error{errc::TooLarge, 0, "a WebP file of more than 256 MiB"};
    if (size > source.Size()) return Error{errc::TruncatedPixels};
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    if (Result<void> read = ReadExactly(source, 0, bytes, errc::TruncatedPixels); !read) return read.Error();
    return bytes;
}

Result<WebPBitstreamFeatures> FeaturesOf(std::span<const std::uint8_t> bytes) {
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) return Error{errc::TruncatedHeader};
    if (status != VP8_STATUS_OK) return Damaged("libwebp finds no image header");
    if (features.has_animation) return formats::Unsupported("an animated WebP");
    if (features.width <= 0 || features.height <= 0) return Error{errc::ZeroSize};
    return features;
}

std::unique_ptr<ProfileTransform> ProfileOf(std::span<const std::uint8_t> bytes) {
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxer* demux = WebPDemux(&data);
    if (demux == nullptr) return nullptr;
    std::unique_ptr<ProfileTransform> profile;
    WebPChunkIterator chunk{};
    if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) != 0 && WebPDemuxGetChunk(demux, "ICCP", 1, &chunk))
        profile = ProfileTransform::FromIcc({chunk.chunk.bytes, chunk.chunk.size}, ProfileInput::Bgr8);
    WebPDemuxReleaseChunkIterator(&chunk);
    WebPDemuxDelete(demux);
    return profile;
}

// Decodes into the image, of the file's size or a reduced one.
Result<void> Decode(std::span<const std::uint8_t> bytes, RgbImage& image) {
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0) return Damaged("libwebp could not start");
    config.output.colorspace = MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.pixels.data();
    config.output.u.RGBA.stride = static_cast<int>(image.RowBytes());
    config.output.u.RGBA.size = image.pixels.size();
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK) return Damaged("no image header");
    if (features.width != image.width || features.height != image.height) {
        config.options.use_scaling = 1;
        config.options.scaled_width = image.width;
        config.options.scaled_height = image.height;
    }
    const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status == VP8_STATUS_OUT_OF_MEMORY) return Error{errc::OutOfMemory};
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) return Error{errc::TruncatedPixels};
    if (status != VP8_STATUS_OK) return Damaged("libwebp could not decode the image");
    return {};
}

class WebpFormat final : public ImageDecoder {
public:
    std::string_view Name() const override { return "WebP"; }

    bool Recognises(std::span<const std::uint8_t> head) const override { return IsRiffWebp(head); }

    Result<ImageSize> ReadSize(ByteSource& source) const override {
        const Result<std::vector<std::uint8_t>> head = ReadFile(source, false);
        if (!head) return head.Error();
        const Result<WebPBitstreamFeatures> features = FeaturesOf(*head);
        if (!features) return features.Error();
        const ImageSize size{features->width, features->height};
        if (Result<void> decodable = CheckDecodableSize(size); !decodable) return decodable.Error();
        return size;
    }

    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override {
        return ReadReduced(source, expected, 1);
    }

    Result<RgbImage> ReadReduced(ByteSource& source, ImageSize expected, int largestFactor) const override {
        const Result<std::vector<std::uint8_t>> bytes = ReadFile(source, true);
        if (!bytes) return bytes.Error();
        const Result<WebPBitstreamFeatures> features = FeaturesOf(*bytes);
        if (!features) return features.Error();
        const ImageSize size{features->width, features->height};
        if (Result<void> fits = CheckSize(size, expected); !fits) return fits.Error();
        const int factor = std::max(largestFactor, 1);
        const ImageSize reduced{(size.width + factor - 1) / factor, (size.height + factor - 1) / factor};
        if (static_cast<std::uint64_t>(reduced.width) * static_cast<std::uint64_t>(reduced.height) * 3 > kMaxWholeBytes)
            return Error{errc::OverBudget, 0, "decoded whole it would take more than 256 MiB"};
        Result<RgbImage> image = formats::AllocateImage(reduced);
        if (!image) return image;
        if (Result<void> decoded = Decode(*bytes, *image); !decoded) return decoded.Error();
        if (const std::unique_ptr<ProfileTransform> profile = ProfileOf(*bytes))
            for (int y = 0; y < image->height; ++y) profile->ToSrgbBytes(image->Row(y), image->width);
        return image;
    }
};

}  // namespace

const ImageDecoder& WebpDecoder() {
    static const WebpFormat decoder;
    return decoder;
}

}  // namespace zenivor
