// Radiance HDR (RGBE), after Greg Ward's "Real Pixels" (Graphics Gems II) and Radiance's own
// reader (color.c): a text header of KEY=VALUE lines ended by an empty line, a resolution line,
// then scanlines of four bytes a pixel (red, green, blue mantissas and a shared exponent), each
// stored flat or run-length encoded channel by channel. No library of the system reads it alone,
// so this decoder is our own, and strict: the one orientation writers use ("-Y H +X W", rows
// top to bottom, left to right) and RGBE pixels; the rarer orientations, XYZE pixels and the
// retired run-length scheme of the first Radiance releases are refused with what they are.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/DecodeSupport.h"
#include "formats/ImageFormats.h"
#include "formats/SourceReader.h"

namespace zenivor {
namespace {

using namespace std::string_view_literals;
using formats::SourceReader;
using formats::Unsupported;

constexpr std::string_view kHdrSignatures[] = {"#?RADIANCE"sv, "#?RGBE"sv};
// A header longer than this is no image's: real ones are a few hundred bytes.
constexpr std::size_t kMaxHeaderBytes = 64 << 10;
// Run-length scanlines are between these widths (Radiance's own rule).
constexpr int kMinRunWidth = 8;
constexpr int kMaxRunWidth = 0x7FFF;

Error Damaged(std::string detail) { return Error{errc::BadHdr, 0, std::move(detail)}; }

// Bytes from the source one at a time, through the reader's chunks.
class ByteStream {
public:
    explicit ByteStream(SourceReader& reader) : reader_(reader) {}
    // The next byte, or nothing at the end of the source (or after a failed read).
    std::optional<std::uint8_t> Next() {
        if (at_ == chunk_.size()) {
            chunk_ = reader_.NextChunk();
            at_ = 0;
            if (chunk_.empty()) return std::nullopt;
        }
        consumed_++;
        return chunk_[at_++];
    }
    std::uint64_t Consumed() const { return consumed_; }
    const std::optional<Error>& Failure() const { return reader_.Failure(); }

private:
    SourceReader& reader_;
    std::span<const std::uint8_t> chunk_;
    std::size_t at_ = 0;
    std::uint64_t consumed_ = 0;
};

struct HdrHeader {
    ImageSize size;
    double exposure = 1;  // the factor the pixels were multiplied by after rendering
};

// The end of the source as an error: the reader's own, else the file's shortness.
Error EndError(const ByteStream& bytes, ErrorKind kind) {
    if (bytes.Failure()) return *bytes.Failure();
    return Error{kind};
}

// One line without its line end; nothing when the source ends first or the header runs long.
Result<std::string> ReadLine(ByteStream& bytes) {
    std::string line;
    while (true) {
        const std::optional<std::uint8_t> byte = bytes.Next();
        if (!byte) return EndError(bytes, errc::TruncatedHeader);
        if (*byte == '\n') return line;
        if (bytes.Consumed() > kMaxHeaderBytes) return Damaged("a header longer than 64 KiB");
        line += static_cast<char>(*byte);
    }
}

std::optional<double> NumberOf(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

Result<void> ReadVariable(std::string_view line, HdrHeader& header) {
    if (line.starts_with("FORMAT=")) {
        std::string_view format = line.substr(7);
        while (!format.empty() && (format.back() == ' ' || format.back() == '\r')) format.remove_suffix(1);
        if (format == "32-bit_rle_rgbe") return {};
        if (format == "32-bit_rle_xyze") return Unsupported("XYZE pixels; Zenivor reads RGBE");
        return Damaged("an unknown pixel format " + std::string(format));
    }
    if (line.starts_with("EXPOSURE=")) {
        const std::optional<double> exposure = NumberOf(line.substr(9));
        if (!exposure || *exposure <= 0) return Damaged("an EXPOSURE that is no positive number");
        header.exposure *= *exposure;  // several lines multiply
    }
    return {};  // other variables (comments, SOFTWARE, GAMMA, PRIMARIES...) change no pixel
}

// The line's words, split at blanks.
std::vector<std::string_view> WordsOf(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find_first_of(" \t\r"), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return words;
}

std::optional<long> SideOf(std::string_view word) {
    long value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
    return value;
}

// "-Y H +X W": the only orientation read; the other seven are refused by name.
Result<ImageSize> ReadResolution(std::string_view line) {
    const std::vector<std::string_view> words = WordsOf(line);
    if (words.size() != 4) return Damaged("no resolution line");
    const std::string orientation = std::string(words[0]) + " " + std::string(words[2]);
    static constexpr std::string_view kOthers[] = {"+Y +X", "-Y -X", "+Y -X", "+X +Y", "+X -Y", "-X +Y", "-X -Y"};
    if (orientation != "-Y +X") {
        if (std::find(std::begin(kOthers), std::end(kOthers), orientation) != std::end(kOthers))
            return Unsupported("the orientation " + orientation + "; Zenivor reads -Y +X (rows from the top)");
        return Damaged("no resolution line");
    }
    const std::optional<long> height = SideOf(words[1]), width = SideOf(words[3]);
    if (!height || !width) return Damaged("no resolution line");
    if (*width <= 0 || *height <= 0) return Error{errc::ZeroSize};
    if (*width > kMaxImageSide || *height > kMaxImageSide)
        return Error{errc::TooLarge, 0, std::to_string(*width) + " x " + std::to_string(*height) + " pixels"};
    return ImageSize{static_cast<int>(*width), static_cast<int>(*height)};
}

Result<HdrHeader> ReadHeader(ByteStream& bytes) {
    Result<std::string> magic = ReadLine(bytes);
    if (!magic) return magic.Error();
    if (std::none_of(std::begin(kHdrSignatures), std::end(kHdrSignatures),
                     [&](std::string_view s) { return magic->starts_with(s); }))
        return Damaged("no Radiance signature");
    HdrHeader header;
    while (true) {
        Result<std::string> line = ReadLine(bytes);
        if (!line) return line.Error();
        if (line->empty() || *line == "\r") break;
        if (Result<void> read = ReadVariable(*line, header); !read) return read.Error();
    }
    Result<std::string> resolution = ReadLine(bytes);
    if (!resolution) return resolution.Error();
    Result<ImageSize> size = ReadResolution(*resolution);
    if (!size) return size.Error();
    header.size = *size;
    return header;
}

// The fewest bytes a scanline can take: flat, four a pixel; run-length encoded, four bytes of
// mark and, for each channel, two bytes for every run of up to 127.
std::uint64_t MinimumDataBytes(ImageSize size) {
    const auto width = static_cast<std::uint64_t>(size.width);
    std::uint64_t perRow = 4 * width;
    if (size.width >= kMinRunWidth && size.width <= kMaxRunWidth)
        perRow = std::min(perRow, 4 + 8 * ((width + 126) / 127));
    return perRow * static_cast<std::uint64_t>(size.height);
}

// One scanline's RGBE bytes, width x 4.
class ScanlineReader {
public:
    ScanlineReader(ByteStream& bytes, int width) : bytes_(bytes), width_(width) {}

    Result<void> Read(std::vector<std::uint8_t>& rgbe) {
        std::uint8_t mark[4];
        for (std::uint8_t& byte : mark)
            if (!Next(byte)) return EndError(bytes_, errc::TruncatedPixels);
        const bool runs =
            width_ >= kMinRunWidth && width_ <= kMaxRunWidth && mark[0] == 2 && mark[1] == 2 && (mark[2] & 0x80) == 0;
        if (!runs) return ReadFlat(mark, rgbe);
        if ((mark[2] << 8 | mark[3]) != width_) return Damaged("a run-length scanline of another width");
        for (int channel = 0; channel < 4; ++channel)
            if (Result<void> read = ReadChannel(channel, rgbe); !read) return read;
        return {};
    }

private:
    bool Next(std::uint8_t& byte) {
        const std::optional<std::uint8_t> next = bytes_.Next();
        if (next) byte = *next;
        return next.has_value();
    }

    Result<void> ReadFlat(const std::uint8_t (&first)[4], std::vector<std::uint8_t>& rgbe) {
        std::copy(first, first + 4, rgbe.begin());
        for (std::size_t at = 4; at < rgbe.size(); ++at)
            if (!Next(rgbe[at])) return EndError(bytes_, errc::TruncatedPixels);
        return {};
    }

    // Runs (a count above 128: count - 128 copies of the next byte) and literals (count bytes).
    Result<void> ReadChannel(int channel, std::vector<std::uint8_t>& rgbe) {
        for (int x = 0; x < width_;) {
            std::uint8_t count = 0, value = 0;
            if (!Next(count)) return EndError(bytes_, errc::TruncatedPixels);
            const bool run = count > 128;
            const int length = run ? count - 128 : count;
            if (length == 0 || length > width_ - x) return Damaged("a run past the scanline's end");
            if (run && !Next(value)) return EndError(bytes_, errc::TruncatedPixels);
            for (int i = 0; i < length; ++i, ++x) {
                if (!run && !Next(value)) return EndError(bytes_, errc::TruncatedPixels);
                rgbe[static_cast<std::size_t>(x) * 4 + static_cast<std::size_t>(channel)] = value;
            }
        }
        return {};
    }

    ByteStream& bytes_;
    int width_;
};

// RGBE to radiance, as Radiance's colr_color does it (the mantissa's middle: + 0.5), divided by
// the header's exposure; into blue, green, red.
void ToLinear(const std::vector<std::uint8_t>& rgbe, double exposure, float* out) {
    for (std::size_t at = 0; at < rgbe.size(); at += 4, out += 3) {
        const int exponent = rgbe[at + 3];
        if (exponent == 0) {
            out[0] = out[1] = out[2] = 0;
            continue;
        }
        const double scale = std::ldexp(1.0, exponent - (128 + 8)) / exposure;
        out[0] = static_cast<float>((rgbe[at + 2] + 0.5) * scale);
        out[1] = static_cast<float>((rgbe[at + 1] + 0.5) * scale);
        out[2] = static_cast<float>((rgbe[at] + 0.5) * scale);
    }
}

Result<void> ReadScanlines(ByteStream& bytes, const HdrHeader& header, RowSink& sink) {
    const ImageSize size = header.size;
    std::vector<std::uint8_t> rgbe;
    std::vector<float> band;
    try {
        rgbe.resize(static_cast<std::size_t>(size.width) * 4);
        band.resize(static_cast<std::size_t>(size.width) * 3 * kBandRows);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    ScanlineReader scanlines(bytes, size.width);
    const std::size_t rowSamples = static_cast<std::size_t>(size.width) * 3;
    for (int y = 0; y < size.height;) {
        const int count = std::min(kBandRows, size.height - y);
        for (int row = 0; row < count; ++row) {
            if (Result<void> read = scanlines.Read(rgbe); !read) return read;
            ToLinear(rgbe, header.exposure, band.data() + static_cast<std::size_t>(row) * rowSamples);
        }
        if (Result<void> taken = sink.Take({band.data(), rowSamples * count}, count); !taken) return taken;
        y += count;
    }
    return {};
}

class HdrFormat final : public ImageDecoder {
public:
    std::string_view Name() const override { return "Radiance HDR"; }
    Light LightHeld() const override { return Light::Scene; }

    bool Recognises(std::span<const std::uint8_t> head) const override {
        const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
        return std::any_of(std::begin(kHdrSignatures), std::end(kHdrSignatures),
                           [&](std::string_view s) { return text.starts_with(s); });
    }

    Result<ImageSize> ReadSize(ByteSource& source) const override {
        SourceReader reader(source);
        ByteStream bytes(reader);
        const Result<HdrHeader> header = ReadHeader(bytes);
        if (!header) return header.Error();
        if (Result<void> decodable = CheckDecodableSize(header->size); !decodable) return decodable.Error();
        return header->size;
    }

    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override {
        return formats::ImageFromRows(*this, source, expected, 1);
    }

    Result<void> ReadRows(ByteSource& source, ImageSize expected, int, RowSink& sink) const override {
        SourceReader reader(source);
        ByteStream bytes(reader);
        const Result<HdrHeader> header = ReadHeader(bytes);
        if (!header) return header.Error();
        if (Result<void> fits = CheckSize(header->size, expected); !fits) return fits;
        const std::uint64_t left = source.Size() - std::min(source.Size(), bytes.Consumed());
        if (Result<void> held = CheckDataCanHold(header->size, left, MinimumDataBytes(header->size)); !held)
            return held;
        if (Result<void> started = sink.Start({header->size, Light::Scene}); !started) return started;
        return ReadScanlines(bytes, *header, sink);
    }
};

}  // namespace

const ImageDecoder& HdrDecoder() {
    static const HdrFormat decoder;
    return decoder;
}

}  // namespace zenivor
