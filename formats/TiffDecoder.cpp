// TIFF through libtiff, reading the file through our byte source. The first image of the file is
// read, in any layout stitchers and editors write: 8- and 16-bit RGB (with alpha or other extra
// samples, which are ignored), grey of 1 to 16 bits (either polarity), palettes of 1 to 8 bits;
// samples interleaved or in planes; strips or tiles; every compression libtiff reads (JPEG's
// YCbCr turned into RGB by libtiff). Rows are handed over a band at a time, so an image held in
// strips or tiles is never whole in memory: a row at a time for interleaved strips, one strip
// or one row of tiles otherwise.

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "formats/ColourProfile.h"
#include "formats/DecodeSupport.h"
#include "formats/ImageFormats.h"
#include "imaging/Symmetry.h"

namespace zenivor {
namespace {

using formats::kMaxBandBytes;
using formats::ProfileInput;
using formats::ProfileTransform;
using formats::Unsupported;

constexpr std::uint8_t kLittleEndian[] = {'I', 'I'};
constexpr std::uint8_t kBigEndian[] = {'M', 'M'};
// No single buffer of libtiff's is larger than one of our bands.
constexpr tmsize_t kMaxSingleAllocation = static_cast<tmsize_t>(kMaxBandBytes);

// What libtiff's callbacks share with the decoder.
struct TiffSession {
    explicit TiffSession(ByteSource& source) : source(source) {}
    ~TiffSession() {
        if (tiff != nullptr) TIFFClose(tiff);
    }
    TiffSession(const TiffSession&) = delete;
    TiffSession& operator=(const TiffSession&) = delete;

    ByteSource& source;
    std::uint64_t offset = 0;
    std::optional<Error> failure;  // the source's own error
    TIFF* tiff = nullptr;
    std::string message;  // libtiff's first error
};

TiffSession& SessionOf(thandle_t handle) { return *static_cast<TiffSession*>(handle); }

tmsize_t OnRead(thandle_t handle, void* out, tmsize_t count) {
    TiffSession& session = SessionOf(handle);
    if (count <= 0 || session.failure) return 0;
    const Result<std::size_t> got =
        session.source.ReadAt(session.offset, {static_cast<std::uint8_t*>(out), static_cast<std::size_t>(count)});
    if (!got) {
        session.failure = got.Error();
        return -1;
    }
    session.offset += *got;
    return static_cast<tmsize_t>(*got);
}

tmsize_t OnWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t OnSeek(thandle_t handle, toff_t offset, int whence) {
    TiffSession& session = SessionOf(handle);
    if (whence == SEEK_SET) session.offset = offset;
    if (whence == SEEK_CUR) session.offset += offset;
    if (whence == SEEK_END) session.offset = session.source.Size() + offset;
    return session.offset;
}

int OnClose(thandle_t) { return 0; }
toff_t OnSize(thandle_t handle) { return SessionOf(handle).source.Size(); }
int NoMap(thandle_t, void**, toff_t*) { return 0; }
void NoUnmap(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
    auto& session = *static_cast<TiffSession*>(user);
    if (!session.message.empty()) return 1;
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    session.message = module != nullptr && *module != 0 ? std::string(module) + ": " + text : text;
    return 1;
}

// Warnings concern tags we do not use; libtiff would print them on the console.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

Error SessionError(const TiffSession& session, const char* fallback = "libtiff could not read it") {
    if (session.failure) return *session.failure;
    return Error{errc::BadTiff, 0, session.message.empty() ? std::string(fallback) : session.message};
}

Result<void> Open(TiffSession& session) {
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                               TIFFOpenOptionsFree);
    if (!options) return Error{errc::OutOfMemory};
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &session);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &session);
    // "m": no memory mapping (the source is no file libtiff may map).
    session.tiff = TIFFClientOpenExt("TIFF", "rm", &session, OnRead, OnWrite, OnSeek, OnClose, OnSize, NoMap, NoUnmap,
                                     options.get());
    if (session.tiff == nullptr) return SessionError(session, "no TIFF directory");
    return {};
}

enum class Kind { Grey, Palette, Rgb };

// The first image's layout, from its tags.
struct Layout {
    ImageSize stored;
    Kind kind = Kind::Grey;
    int bits = 8;
    int samples = 1;  // samples a pixel, extra ones included
    bool planes = false;
    bool whiteIsZero = false;
    bool tiled = false;
    int orientation = 1;
    std::uint16_t* palette[3] = {};  // libtiff's colour map, 16 bits an entry
};

template <typename T>
T Field(TIFF* tiff, ttag_t tag, T fallback) {
    T value = fallback;
    if (TIFFGetFieldDefaulted(tiff, tag, &value) != 1) return fallback;
    return value;
}

Result<Kind> KindOf(TIFF* tiff, std::uint16_t photometric, int bits, int samples) {
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
            if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
                return Unsupported(std::to_string(bits) + "-bit grey");
            return Kind::Grey;
        case PHOTOMETRIC_PALETTE:
            if (samples != 1 || bits > 8) return Unsupported(std::to_string(bits) + "-bit palette indices");
            return Kind::Palette;
        case PHOTOMETRIC_YCBCR:
            // libtiff's JPEG codec turns YCbCr into RGB itself; other YCbCr files are rare.
            if (Field<std::uint16_t>(tiff, TIFFTAG_COMPRESSION, 1) != COMPRESSION_JPEG)
                return Unsupported("YCbCr without JPEG compression");
            TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            [[fallthrough]];
        case PHOTOMETRIC_RGB:
            if (samples < 3 || (bits != 8 && bits != 16)) return Unsupported(std::to_string(bits) + "-bit RGB");
            return Kind::Rgb;
        case PHOTOMETRIC_SEPARATED: return Unsupported("CMYK");
        default: return Unsupported("the TIFF colour space " + std::to_string(photometric));
    }
}

Result<Layout> ReadLayout(TiffSession& session) {
    TIFF* tiff = session.tiff;
    Layout layout;
    std::uint32_t width = 0, height = 0;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) != 1)
        return SessionError(session, "no image size");
    if (width == 0 || height == 0) return Error{errc::ZeroSize};
    if (width > static_cast<std::uint32_t>(kMaxImageSide) || height > static_cast<std::uint32_t>(kMaxImageSide))
        return Error{errc::TooLarge, 0, std::to_string(width) + " x " + std::to_string(height) + " pixels"};
    layout.stored = {static_cast<int>(width), static_cast<int>(height)};
    layout.bits = Field<std::uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    layout.samples = Field<std::uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    const auto format = Field<std::uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    if (format == SAMPLEFORMAT_IEEEFP) return Unsupported("floating-point samples");
    if (format != SAMPLEFORMAT_UINT) return Unsupported("signed samples");
    std::uint16_t photometric = 0;
    if (TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
        photometric = layout.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    const Result<Kind> kind = KindOf(tiff, photometric, layout.bits, layout.samples);
    if (!kind) return kind.Error();
    layout.kind = *kind;
    layout.whiteIsZero = photometric == PHOTOMETRIC_MINISWHITE;
    layout.planes = Field<std::uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == PLANARCONFIG_SEPARATE;
    layout.tiled = TIFFIsTiled(tiff) != 0;
    const auto orientation = Field<std::uint16_t>(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    layout.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
    if (layout.kind == Kind::Palette &&
        TIFFGetField(tiff, TIFFTAG_COLORMAP, &layout.palette[0], &layout.palette[1], &layout.palette[2]) != 1)
        return Error{errc::MissingColourMap};
    return layout;
}

ImageSize UprightSize(const Layout& layout) { return Symmetry::FromExif(layout.orientation).ResultSize(layout.stored); }

// The fewest bytes the image's data can take: all of it when stored plainly; compressed, no
// codec libtiff has packs more than 4096 bytes into one (an LZW code stands for at most 4096).
std::uint64_t MinimumDataBytes(TIFF* tiff, const Layout& layout) {
    const std::uint64_t bytes = (static_cast<std::uint64_t>(layout.stored.width) * layout.samples * layout.bits + 7) /
                                8 * static_cast<std::uint64_t>(layout.stored.height);
    return Field<std::uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == COMPRESSION_NONE ? bytes : bytes / 4096;
}

// Reads the stored rows a band at a time: each band's rows of each plane, width samples apart.
class BandReader {
public:
    BandReader(TiffSession& session, const Layout& layout) : session_(session), layout_(layout) {}

    Result<void> Prepare() {
        TIFF* tiff = session_.tiff;
        planeCount_ = layout_.planes ? layout_.samples : 1;
        const int perPixel = layout_.planes ? 1 : layout_.samples;
        rowBytes_ = (static_cast<std::size_t>(layout_.stored.width) * perPixel * layout_.bits + 7) / 8;
        if (layout_.tiled) {
            std::uint32_t tileWidth = 0, tileHeight = 0;
            TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
            TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
            if (tileWidth == 0 || tileHeight == 0) return SessionError(session_, "tiles of no size");
            tileWidth_ = static_cast<int>(std::min<std::uint32_t>(tileWidth, 1u << 24));
            bandRows_ = static_cast<int>(std::min<std::uint32_t>(tileHeight, 1u << 24));
            tileRowBytes_ = (static_cast<std::size_t>(tileWidth_) * perPixel * layout_.bits + 7) / 8;
        } else if (layout_.planes) {
            bandRows_ = static_cast<int>(std::clamp<std::uint32_t>(
                Field<std::uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(layout_.stored.height)), 1,
                static_cast<std::uint32_t>(layout_.stored.height)));
        }
        // libtiff fills whole tiles, which may reach past the image's last row.
        const std::uint64_t band = static_cast<std::uint64_t>(rowBytes_ + tileRowBytes_) * bandRows_ * planeCount_;
        if (band > kMaxBandBytes) return Error{errc::OverBudget, 0, "strips or tiles of more than 256 MiB"};
        try {
            bytes_.resize(static_cast<std::size_t>(band));
            if (layout_.tiled) tile_.resize(static_cast<std::size_t>(TIFFTileSize64(tiff)));
        } catch (const std::bad_alloc&) {
            return Error{errc::OutOfMemory};
        }
        return {};
    }

    int BandRows() const { return bandRows_; }
    // Row r of the band just read, in plane p.
    const std::uint8_t* Row(int r, int p) const {
        return bytes_.data() + (static_cast<std::size_t>(p) * bandRows_ + static_cast<std::size_t>(r)) * rowBytes_;
    }

    Result<void> ReadBand(int firstRow, int rows) {
        for (int p = 0; p < planeCount_; ++p) {
            Result<void> read = layout_.tiled ? ReadTiles(firstRow, rows, p) : ReadStrips(firstRow, rows, p);
            if (!read) return read;
        }
        return {};
    }

private:
    Result<void> ReadStrips(int firstRow, int rows, int plane) {
        for (int r = 0; r < rows; ++r) {
            auto* out = const_cast<std::uint8_t*>(Row(r, plane));
            if (TIFFReadScanline(session_.tiff, out, static_cast<std::uint32_t>(firstRow + r),
                                 static_cast<std::uint16_t>(plane)) != 1)
                return SessionError(session_);
        }
        return {};
    }

    // A row of tiles, each tile's rows copied into the band's rows at the tile's place.
    Result<void> ReadTiles(int firstRow, int rows, int plane) {
        const int perPixel = layout_.planes ? 1 : layout_.samples;
        for (int x = 0; x < layout_.stored.width; x += tileWidth_) {
            if (TIFFReadTile(session_.tiff, tile_.data(), static_cast<std::uint32_t>(x),
                             static_cast<std::uint32_t>(firstRow), 0, static_cast<std::uint16_t>(plane)) < 0)
                return SessionError(session_);
            const std::size_t bitOffset = static_cast<std::size_t>(x) * perPixel * layout_.bits;
            const int columns = std::min(tileWidth_, layout_.stored.width - x);
            const std::size_t bits = static_cast<std::size_t>(columns) * perPixel * layout_.bits;
            for (int r = 0; r < rows; ++r)
                CopyBits(tile_.data() + static_cast<std::size_t>(r) * tileRowBytes_, bits,
                         const_cast<std::uint8_t*>(Row(r, plane)), bitOffset);
        }
        return {};
    }

    // Tiles start on byte boundaries; samples of fewer than 8 bits may not within a row.
    static void CopyBits(const std::uint8_t* from, std::size_t bits, std::uint8_t* to, std::size_t bitOffset) {
        if (bitOffset % 8 == 0) {
            std::memcpy(to + bitOffset / 8, from, (bits + 7) / 8);
            return;
        }
        for (std::size_t i = 0; i < bits; ++i) {
            const std::size_t at = bitOffset + i;
            const int bit = from[i / 8] >> (7 - i % 8) & 1;
            to[at / 8] = static_cast<std::uint8_t>((to[at / 8] & ~(0x80 >> at % 8)) | bit << (7 - at % 8));
        }
    }

    TiffSession& session_;
    const Layout& layout_;
    int planeCount_ = 1;
    int bandRows_ = 1;
    int tileWidth_ = 0;
    std::size_t rowBytes_ = 0;
    std::size_t tileRowBytes_ = 0;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::uint8_t> tile_;
};

// Sample i of a row of samples of the given bits, as stored (16-bit ones in the machine's order,
// as libtiff gives them).
unsigned SampleAt(const std::uint8_t* row, std::size_t i, int bits) {
    if (bits == 16) {
        std::uint16_t value = 0;
        std::memcpy(&value, row + 2 * i, 2);
        return value;
    }
    if (bits == 8) return row[i];
    const std::size_t bit = i * static_cast<std::size_t>(bits);
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// One stored row as 16-bit red, green, blue.
void ToRgb16(const BandReader& band, int r, const Layout& layout, std::uint16_t* out) {
    const int width = layout.stored.width;
    const unsigned top = (1u << layout.bits) - 1;
    const auto wide = [&](unsigned v) { return static_cast<std::uint16_t>((v * 65535u + top / 2) / top); };
    for (int x = 0; x < width; ++x, out += 3) {
        if (layout.kind == Kind::Rgb) {
            for (int c = 0; c < 3; ++c)
                out[c] = wide(layout.planes ? SampleAt(band.Row(r, c), static_cast<std::size_t>(x), layout.bits)
                                            : SampleAt(band.Row(r, 0), static_cast<std::size_t>(x) * layout.samples + c,
                                                       layout.bits));
            continue;
        }
        const unsigned sample =
            SampleAt(band.Row(r, 0), static_cast<std::size_t>(x) * (layout.planes ? 1 : layout.samples), layout.bits);
        if (layout.kind == Kind::Palette) {
            for (int c = 0; c < 3; ++c) out[c] = layout.palette[c][sample];
            continue;
        }
        const std::uint16_t grey = wide(layout.whiteIsZero ? top - sample : sample);
        out[0] = out[1] = out[2] = grey;
    }
}

// Stored rows to linear light: through the image's colour profile, else as sRGB.
void ToLinear(const std::uint16_t* rgb, int width, const ProfileTransform* profile, float* out) {
    if (profile != nullptr) {
        profile->ToLinear(rgb, out, width);
        return;
    }
    for (int x = 0; x < width; ++x, rgb += 3, out += 3)
        out[0] = LinearOf16(rgb[2]), out[1] = LinearOf16(rgb[1]), out[2] = LinearOf16(rgb[0]);
}

std::unique_ptr<ProfileTransform> ProfileOf(TIFF* tiff) {
    std::uint32_t count = 0;
    void* data = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &count, &data) != 1 || data == nullptr) return nullptr;
    return ProfileTransform::FromIcc({static_cast<const std::uint8_t*>(data), count}, ProfileInput::Rgb16);
}

// The stored rows in bands, as linear light, into a sink.
Result<void> ReadStoredRows(TiffSession& session, const Layout& layout, RowSink& sink) {
    BandReader band(session, layout);
    if (Result<void> prepared = band.Prepare(); !prepared) return prepared;
    const std::unique_ptr<ProfileTransform> profile = ProfileOf(session.tiff);
    const int width = layout.stored.width;
    std::vector<std::uint16_t> rgb;
    std::vector<float> linear;
    try {
        rgb.resize(static_cast<std::size_t>(width) * 3);
        linear.resize(static_cast<std::size_t>(width) * 3 * band.BandRows());
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    if (Result<void> started = sink.Start({layout.stored, Light::Display}); !started) return started;
    for (int y = 0; y < layout.stored.height; y += band.BandRows()) {
        const int rows = std::min(band.BandRows(), layout.stored.height - y);
        if (Result<void> read = band.ReadBand(y, rows); !read) return read;
        for (int r = 0; r < rows; ++r) {
            ToRgb16(band, r, layout, rgb.data());
            ToLinear(rgb.data(), width, profile.get(), linear.data() + static_cast<std::size_t>(r) * width * 3);
        }
        if (Result<void> taken = sink.Take({linear.data(), static_cast<std::size_t>(width) * 3 * rows}, rows); !taken)
            return taken;
    }
    return {};
}

// An image stored turned or mirrored is collected whole and handed over upright.
Result<void> ReadTurnedRows(TiffSession& session, const Layout& layout, RowSink& sink) {
    LinearCollector stored;
    if (Result<void> read = ReadStoredRows(session, layout, stored); !read) return read;
    Result<LinearImage> upright = formats::Transformed(stored.Image(), Symmetry::FromExif(layout.orientation));
    if (!upright) return upright.Error();
    if (Result<void> started = sink.Start({{upright->width, upright->height}, Light::Display}); !started)
        return started;
    return sink.Take(upright->samples, upright->height);
}

class TiffFormat final : public ImageDecoder {
public:
    std::string_view Name() const override { return "TIFF"; }

    bool Recognises(std::span<const std::uint8_t> head) const override {
        if (head.size() < 4) return false;
        const bool little = std::equal(std::begin(kLittleEndian), std::end(kLittleEndian), head.begin());
        const bool big = std::equal(std::begin(kBigEndian), std::end(kBigEndian), head.begin());
        const unsigned version = little ? head[2] | head[3] << 8 : head[2] << 8 | head[3];
        return (little || big) && (version == 42 || version == 43);  // 43: BigTIFF
    }

    Result<ImageSize> ReadSize(ByteSource& source) const override {
        TiffSession session(source);
        if (Result<void> opened = Open(session); !opened) return opened.Error();
        const Result<Layout> layout = ReadLayout(session);
        if (!layout) return layout.Error();
        const ImageSize upright = UprightSize(*layout);
        if (Result<void> decodable = CheckDecodableSize(upright); !decodable) return decodable.Error();
        return upright;
    }

    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override {
        return formats::ImageFromRows(*this, source, expected, 1);
    }

    Result<void> ReadRows(ByteSource& source, ImageSize expected, int, RowSink& sink) const override {
        TiffSession session(source);
        if (Result<void> opened = Open(session); !opened) return opened;
        const Result<Layout> layout = ReadLayout(session);
        if (!layout) return layout.Error();
        if (Result<void> fits = CheckSize(UprightSize(*layout), expected); !fits) return fits;
        if (Result<void> held =
                CheckDataCanHold(layout->stored, source.Size(), MinimumDataBytes(session.tiff, *layout));
            !held)
            return held;
        if (layout->orientation != 1) return ReadTurnedRows(session, *layout, sink);
        return ReadStoredRows(session, *layout, sink);
    }
};

}  // namespace

const ImageDecoder& TiffDecoder() {
    static const TiffFormat decoder;
    return decoder;
}

}  // namespace zenivor
