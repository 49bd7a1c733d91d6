// PNG through libpng, pulling the file's bytes in bounded chunks and decoding row by row
// straight into the image. libpng reports errors by longjmp, so every libpng call that can
// fail runs inside Guarded(), whose frame and steps hold no object with a destructor.

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "formats/ColourProfile.h"
#include "formats/DecodeSupport.h"
#include "formats/Exif.h"
#include "formats/ImageFormats.h"
#include "formats/Orientation.h"
#include "formats/SourceReader.h"

namespace zenivor {
namespace {

using formats::ProfileInput;
using formats::ProfileTransform;
using formats::SourceReader;

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Ancillary chunks are held in memory before they are looked at; larger ones are skipped.
constexpr png_alloc_size_t kMaxChunkBytes = 4 << 20;
constexpr png_byte kExifChunk[] = {'e', 'X', 'I', 'f', 0};
constexpr png_byte kProfileChunk[] = {'i', 'C', 'C', 'P', 0};
// Past the image's last row, the chunks up to IEND are read for their CRCs as far as this many
// bytes; compressed data running on past the image costs neither inflating nor reading beyond.
constexpr std::uint64_t kMaxCheckedTail = 1 << 20;

// Where the bytes libpng has read lie in the file's chunks, so that the reading can be finished
// without libpng once the image's rows are all there.
class ChunkTracker {
public:
    void Saw(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count;) {
            if (signatureLeft_ > 0) {
                const std::size_t n = std::min<std::size_t>(signatureLeft_, count - i);
                signatureLeft_ -= static_cast<std::uint32_t>(n), i += n;
            } else if (headerHave_ < 8) {
                header_[headerHave_++] = bytes[i++];
                if (headerHave_ == 8) StartChunk();
            } else if (dataLeft_ > 0) {
                const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(dataLeft_, count - i));
                crc_ = crc32(crc_, bytes + i, n);
                dataLeft_ -= n, i += n;
            } else {
                crcBytes_[4 - crcLeft_] = bytes[i++];
                if (--crcLeft_ == 0) headerHave_ = 0;
            }
        }
    }
    // Inside a chunk's data or its CRC (else between chunks).
    bool InsideChunk() const { return headerHave_ == 8; }
    std::uint32_t DataLeft() const { return dataLeft_; }
    std::uint32_t CrcLeft() const { return crcLeft_; }
    // The CRC of the chunk's type and data, once its data has all been seen.
    std::uint32_t Crc() const { return static_cast<std::uint32_t>(crc_); }
    const std::uint8_t* CrcBytesSeen() const { return crcBytes_; }

private:
    void StartChunk() {
        dataLeft_ = static_cast<std::uint32_t>(header_[0] << 24 | header_[1] << 16 | header_[2] << 8 | header_[3]);
        crc_ = crc32(crc32(0, nullptr, 0), header_ + 4, 4);
        crcLeft_ = 4;
    }

    std::uint32_t signatureLeft_ = 8;
    std::uint8_t header_[8] = {};
    int headerHave_ = 0;
    std::uint32_t dataLeft_ = 0;
    std::uint32_t crcLeft_ = 0;
    std::uint8_t crcBytes_[4] = {};
    uLong crc_ = 0;
};

// What the libpng callbacks share with the decoder. Destroying it frees libpng's state.
struct PngSession {
    explicit PngSession(ByteSource& source) : reader(source), size(source.Size()) {}
    ~PngSession() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;

    SourceReader reader;
    std::uint64_t size;  // the source's
    ChunkTracker chunks;
    std::uint64_t consumed = 0;  // bytes of the file read so far
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[200] = {};
    int orientation = formats::kUprightOrientation;
    bool exifSeen = false;              // the first eXIf chunk before the pixels decides, or none
    std::vector<std::uint8_t> profile;  // the first iCCP chunk's profile, inflated
    bool profileSeen = false;
    // See HeightPatcher: whether libpng may be told of one row more, whether it is, and the
    // file's own height.
    bool patchHeight = false;
    bool rowMore = false;
    std::uint32_t height = 0;
    std::uint8_t header[13] = {};  // IHDR's data as the file holds it
};

// libpng inflates the whole rest of the compressed data once it has given the last row (to
// check that nothing follows), however far that runs. So for a non-interlaced image it is told of
// one row more than the file's header says, in the IHDR it reads (with a CRC to fit, when the
// file's own is right): it then never reaches the last row it expects, and the reading is
// finished without it (TailReader). An interlaced image's passes depend on its height, so it is
// read as it is. libpng reads IHDR's 13 bytes of data in one read and its CRC in the next.
class HeightPatcher {
public:
    static constexpr std::uint64_t kDataAt = 16;  // after the signature, IHDR's length and type
    static constexpr std::uint64_t kCrcAt = kDataAt + 13;

    static void Patch(PngSession& session, std::uint64_t offset, std::uint8_t* bytes, std::size_t count) {
        if (offset == kDataAt && count == 13) {
            std::copy(bytes, bytes + 13, session.header);
            session.height = BigEndian(bytes + 4);
            session.rowMore = bytes[12] == 0 && session.height > 0 && session.height < PNG_UINT_31_MAX;
            if (session.rowMore) PutBigEndian(session.height + 1, bytes + 4);
        } else if (offset == kCrcAt && count == 4 && session.rowMore) {
            if (BigEndian(bytes) != HeaderCrc(session.header)) return;  // libpng refuses it as it is
            std::uint8_t patched[13];
            std::copy(session.header, session.header + 13, patched);
            PutBigEndian(session.height + 1, patched + 4);
            PutBigEndian(HeaderCrc(patched), bytes);
        }
    }

private:
    static std::uint32_t BigEndian(const std::uint8_t* b) {
        return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    }
    static void PutBigEndian(std::uint32_t value, std::uint8_t* b) {
        for (int i = 0; i < 4; ++i) b[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
    static std::uint32_t HeaderCrc(const std::uint8_t* data) {
        const auto* type = reinterpret_cast<const Bytef*>("IHDR");
        return static_cast<std::uint32_t>(crc32(crc32(crc32(0, nullptr, 0), type, 4), data, 13));
    }
};

// libpng's errors: keep its words and jump back to the Guarded() that made the call.
[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* session = static_cast<PngSession*>(png_get_error_ptr(png));
    std::snprintf(session->message, sizeof session->message, "%s", message);
    png_longjmp(png, 1);
}

// Warnings concern chunks we do not use; libpng would print them on the console.
void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep out, std::size_t count) {
    auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
    if (session->reader.ReadExactly({out, count})) {
        session->chunks.Saw(out, count);
        if (session->patchHeight && session->consumed <= HeightPatcher::kCrcAt)
            HeightPatcher::Patch(*session, session->consumed, out, count);
        session->consumed += count;
        return;
    }
    png_error(png, session->reader.Failure() ? "the file cannot be read" : "unexpected end of file");
}

template <typename Steps>
bool Guarded(png_structp png, Steps&& steps) {
    if (setjmp(png_jmpbuf(png))) return false;
    steps();
    return true;
}

// The source's own error when a read failed, else libpng's.
Error SessionError(const PngSession& session) {
    if (session.reader.Failure()) return *session.reader.Failure();
    return Error{errc::BadPng, 0, session.message};
}

// An iCCP chunk's profile: a name of 1 to 79 bytes, a NUL, compression method 0 and the zlib
// stream. Empty when it is malformed or inflates past the profile limit.
std::vector<std::uint8_t> InflatedProfile(std::span<const std::uint8_t> chunk) {
    const auto end = std::find(chunk.begin(), chunk.begin() + std::min<std::size_t>(chunk.size(), 80), 0);
    const auto nameBytes = static_cast<std::size_t>(end - chunk.begin());
    if (nameBytes == 0 || nameBytes >= 80 || nameBytes + 2 > chunk.size() || chunk[nameBytes + 1] != 0) return {};
    const std::span<const std::uint8_t> stream = chunk.subspan(nameBytes + 2);
    std::vector<std::uint8_t> profile(formats::kMaxProfileBytes);
    uLongf length = profile.size();
    if (uncompress(profile.data(), &length, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return {};
    profile.resize(length);
    return profile;
}

// Every ancillary chunk comes here instead of to libpng's own handling, held in memory only up
// to kMaxChunkBytes: libpng's eXIf handling would allocate whatever length a chunk declares.
// Critical chunks libpng does not know are left to it to refuse.
int OnChunk(png_structp png, png_unknown_chunkp chunk) {
    if ((chunk->name[0] & 0x20) == 0) return 0;
    auto* session = static_cast<PngSession*>(png_get_user_chunk_ptr(png));
    if (!session->exifSeen && std::equal(chunk->name, chunk->name + 4, kExifChunk)) {
        session->exifSeen = true;
        session->orientation = formats::ExifOrientation({chunk->data, chunk->size});
    }
    if (!session->profileSeen && std::equal(chunk->name, chunk->name + 4, kProfileChunk)) {
        session->profileSeen = true;
        session->profile = InflatedProfile({chunk->data, chunk->size});
    }
    return 1;
}

// Sizes are judged by ImageFormats.h's limits, not libpng's; ancillary chunks go to OnChunk,
// their CRCs still checked; and any bad CRC is an error.
void SetReadRules(PngSession& session) {
    png_set_user_limits(session.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_chunk_malloc_max(session.png, kMaxChunkBytes);
    png_set_crc_action(session.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_keep_unknown_chunks(session.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_read_user_chunk_fn(session.png, &session, OnChunk);
}

// Read the header: every chunk before the image data.
Result<void> Open(PngSession& session) {
    session.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, OnError, OnWarning);
    if (session.png == nullptr) return Error{errc::OutOfMemory};
    session.info = png_create_info_struct(session.png);
    if (session.info == nullptr) return Error{errc::OutOfMemory};
    png_set_read_fn(session.png, &session, OnRead);
    const bool read = Guarded(session.png, [&session] {
        SetReadRules(session);
        png_read_info(session.png, session.info);
    });
    if (!read) return SessionError(session);
    session.exifSeen = true;  // one after the pixels no longer turns them
    return {};
}

ImageSize StoredSize(const PngSession& session) {
    return {static_cast<int>(png_get_image_width(session.png, session.info)),
            static_cast<int>(session.rowMore ? session.height : png_get_image_height(session.png, session.info))};
}

// The fewest bytes the image's compressed rows can take: deflate packs at most 1032 bytes into
// one (zlib's technical notes), and the rows hold at least every stored sample's bits.
std::uint64_t MinimumDataBytes(const PngSession& session) {
    const std::uint64_t rowBytes = png_get_rowbytes(session.png, session.info);
    return rowBytes * static_cast<std::uint64_t>(StoredSize(session).height) / 1032;
}

// Every layout becomes 8-bit colour as stored, in the image's blue-green-red byte order: 16-bit
// samples rounded, palettes and grey expanded, alpha and tRNS dropped, no gamma applied. Gives
// the number of interlace passes.
Result<int> SetRgbOutput(PngSession& session) {
    int passes = 1;
    const bool set = Guarded(session.png, [&session, &passes] {
        png_set_expand(session.png);
        png_set_scale_16(session.png);
        png_set_gray_to_rgb(session.png);
        png_set_strip_alpha(session.png);
        png_set_bgr(session.png);
        passes = png_set_interlace_handling(session.png);
        png_read_update_info(session.png, session.info);
    });
    if (!set) return SessionError(session);
    const bool rgb8 =
        png_get_channels(session.png, session.info) == 3 && png_get_bit_depth(session.png, session.info) == 8;
    if (!rgb8) return Error{errc::BadPng, 0, "a pixel layout libpng does not turn into RGB"};
    return passes;
}

// Reading on without libpng once the rows are all there: libpng would inflate whatever
// compressed data follows the image (however long it runs) only to find it unneeded.
class TailReader {
public:
    explicit TailReader(PngSession& session) : session_(session) {}

    // The rest of the chunk the last row came from, then every chunk up to IEND, their CRCs
    // checked; as far as kMaxCheckedTail bytes, past which the rest is not read at all.
    Result<void> Finish() {
        ChunkTracker& chunks = session_.chunks;
        if (chunks.InsideChunk()) {
            const std::uint64_t rest = chunks.DataLeft() + std::uint64_t{chunks.CrcLeft()};
            if (rest > Budget()) return {};
            if (Result<void> read = Read(rest); !read) return read;
            if (!CrcMatches()) return Damaged("a CRC error in the image data");
        }
        while (Budget() >= 12) {
            if (Result<void> header = Read(8); !header) return header;
            const std::uint32_t length = BigEndian(last_);
            const std::string_view type(reinterpret_cast<const char*>(last_ + 4), 4);
            if (length > PNG_UINT_31_MAX) return Damaged("a chunk longer than 2^31 - 1 bytes");
            const bool critical = (last_[4] & 0x20) == 0;
            if (critical && type != "IDAT" && type != "IEND")
                return Damaged("an unknown critical chunk after the image");
            if (length + std::uint64_t{4} > Budget()) return {};
            if (Result<void> rest = Read(length + std::uint64_t{4}); !rest) return rest;
            if (!CrcMatches()) return Damaged("a CRC error after the image");
            if (type == "IEND") return {};
        }
        return {};
    }

private:
    static std::uint32_t BigEndian(const std::uint8_t* b) {
        return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    }
    Error Damaged(const char* detail) const { return Error{errc::BadPng, 0, detail}; }
    Error Ended() const {
        if (session_.reader.Failure()) return *session_.reader.Failure();
        return Damaged("unexpected end of file");
    }
    bool CrcMatches() const { return BigEndian(session_.chunks.CrcBytesSeen()) == session_.chunks.Crc(); }
    std::uint64_t Budget() const { return kMaxCheckedTail - std::min<std::uint64_t>(read_, kMaxCheckedTail); }

    // Reads count bytes through the chunk tracker, the last 8 of them kept.
    Result<void> Read(std::uint64_t count) {
        std::uint8_t piece[4096];
        while (count > 0) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof piece));
            if (!session_.reader.ReadExactly({piece, n})) return Ended();
            session_.chunks.Saw(piece, n);
            session_.consumed += n, count -= n, read_ += n;
            if (n >= 8) std::copy(piece, piece + 8, last_);
        }
        return {};
    }

    PngSession& session_;
    std::uint64_t read_ = 0;  // bytes read past the last row
    std::uint8_t last_[8] = {};
};

// Decode the rows, each pass of an interlaced image over the rows of the last, then check
// that the file ends as a PNG does.
Result<void> ReadPixels(PngSession& session, int passes, RgbImage& image) {
    const bool read = Guarded(session.png, [&session, passes, &image] {
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < image.height; ++y) png_read_row(session.png, image.Row(y), nullptr);
    });
    if (!read) return SessionError(session);
    return TailReader(session).Finish();
}

// The profile's transform into sRGB for pixels of this layout, or none.
std::unique_ptr<ProfileTransform> ProfileOf(const PngSession& session, ProfileInput input) {
    return ProfileTransform::FromIcc(session.profile, input);
}

// For the rows in linear light: colour as stored, 8 or 16 bits (16 in the machine's byte order),
// red, green, blue. Gives the bits.
Result<int> SetWideOutput(PngSession& session) {
    const bool set = Guarded(session.png, [&session] {
        png_set_expand(session.png);
        png_set_gray_to_rgb(session.png);
        png_set_strip_alpha(session.png);
        if (png_get_bit_depth(session.png, session.info) == 16 && std::endian::native == std::endian::little)
            png_set_swap(session.png);
        png_read_update_info(session.png, session.info);
    });
    if (!set) return SessionError(session);
    const int bits = png_get_bit_depth(session.png, session.info);
    if (png_get_channels(session.png, session.info) != 3 || (bits != 8 && bits != 16))
        return Error{errc::BadPng, 0, "a pixel layout libpng does not turn into RGB"};
    return bits;
}

// A band of stored rows (8 or 16 bits a sample) as linear light.
void BandToLinear(const std::vector<std::uint8_t>& stored, int rows, int width, int bits,
                  const ProfileTransform* profile, float* out) {
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3 * (bits / 8);
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* row = stored.data() + static_cast<std::size_t>(r) * rowBytes;
        float* target = out + static_cast<std::size_t>(r) * width * 3;
        if (profile != nullptr) {
            profile->ToLinear(row, target, width);
            continue;
        }
        for (int x = 0; x < width; ++x, target += 3)
            for (int c = 0; c < 3; ++c) {
                if (bits == 8) {
                    target[2 - c] = LinearOf8(row[x * 3 + c]);
                } else {
                    std::uint16_t sample = 0;
                    std::memcpy(&sample, row + (static_cast<std::size_t>(x) * 3 + c) * 2, 2);
                    target[2 - c] = LinearOf16(sample);
                }
            }
    }
}

// The rows of a non-interlaced, upright image in bands, at their full precision.
Result<void> ReadWideRows(PngSession& session, RowSink& sink) {
    const Result<int> bits = SetWideOutput(session);
    if (!bits) return bits.Error();
    const ImageSize size = StoredSize(session);
    const std::unique_ptr<ProfileTransform> profile =
        ProfileOf(session, *bits == 16 ? ProfileInput::Rgb16 : ProfileInput::Rgb8);
    const std::size_t rowBytes = png_get_rowbytes(session.png, session.info);
    std::vector<std::uint8_t> stored;
    std::vector<float> band;
    try {
        stored.resize(rowBytes * kBandRows);
        band.resize(static_cast<std::size_t>(size.width) * 3 * kBandRows);
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    if (Result<void> started = sink.Start({size, Light::Display}); !started) return started;
    for (int y = 0; y < size.height; y += kBandRows) {
        const int rows = std::min(kBandRows, size.height - y);
        const bool read = Guarded(session.png, [&session, &stored, rowBytes, rows] {
            for (int r = 0; r < rows; ++r) png_read_row(session.png, stored.data() + r * rowBytes, nullptr);
        });
        if (!read) return SessionError(session);
        BandToLinear(stored, rows, size.width, *bits, profile.get(), band.data());
        if (Result<void> taken = sink.Take({band.data(), static_cast<std::size_t>(size.width) * 3 * rows}, rows);
            !taken)
            return taken;
    }
    return TailReader(session).Finish();
}

class PngFormat final : public ImageDecoder {
public:
    std::string_view Name() const override { return "PNG"; }

    bool Recognises(std::span<const std::uint8_t> head) const override {
        return head.size() >= sizeof kPngSignature &&
               std::equal(std::begin(kPngSignature), std::end(kPngSignature), head.begin());
    }

    Result<ImageSize> ReadSize(ByteSource& source) const override {
        PngSession session(source);
        if (Result<void> opened = Open(session); !opened) return opened.Error();
        const ImageSize upright = OrientedSize(StoredSize(session), session.orientation);
        if (Result<void> decodable = CheckDecodableSize(upright); !decodable) return decodable.Error();
        return upright;
    }

    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override {
        PngSession session(source);
        session.patchHeight = true;
        if (Result<void> opened = Open(session); !opened) return opened.Error();
        if (Result<void> checked = CheckOpened(session, source, expected); !checked) return checked.Error();
        // A 16-bit image keeps its precision through its profile, which the rows path gives.
        if (!session.profile.empty() && png_get_bit_depth(session.png, session.info) == 16 && !Interlaced(session) &&
            session.orientation == formats::kUprightOrientation)
            return formats::ImageFromRows(*this, source, expected, 1);
        const Result<int> passes = SetRgbOutput(session);
        if (!passes) return passes.Error();
        Result<RgbImage> image = formats::AllocateImage(StoredSize(session));
        if (!image) return image;
        if (Result<void> read = ReadPixels(session, *passes, *image); !read) return read.Error();
        if (const std::unique_ptr<ProfileTransform> profile = ProfileOf(session, ProfileInput::Bgr8))
            for (int y = 0; y < image->height; ++y) profile->ToSrgbBytes(image->Row(y), image->width);
        return formats::Upright(std::move(*image), session.orientation);
    }

    Result<void> ReadRows(ByteSource& source, ImageSize expected, int largestFactor, RowSink& sink) const override {
        PngSession session(source);
        session.patchHeight = true;
        if (Result<void> opened = Open(session); !opened) return opened;
        if (Result<void> checked = CheckOpened(session, source, expected); !checked) return checked;
        // Interlaced and turned images are whole before their first row is known.
        if (Interlaced(session) || session.orientation != formats::kUprightOrientation)
            return ImageDecoder::ReadRows(source, expected, largestFactor, sink);
        return ReadWideRows(session, sink);
    }

private:
    static bool Interlaced(const PngSession& session) {
        return png_get_interlace_type(session.png, session.info) != PNG_INTERLACE_NONE;
    }
    static Result<void> CheckOpened(const PngSession& session, ByteSource& source, ImageSize expected) {
        const ImageSize stored = StoredSize(session);
        if (Result<void> fits = CheckSize(OrientedSize(stored, session.orientation), expected); !fits) return fits;
        return CheckDataCanHold(stored, source.Size(), MinimumDataBytes(session));
    }
};

}  // namespace

const ImageDecoder& PngDecoder() {
    static const PngFormat decoder;
    return decoder;
}

}  // namespace zenivor
