// PNG through libpng, pulling the file's bytes in bounded chunks and decoding row by row
// straight into the image. libpng reports errors by longjmp, so every libpng call that can
// fail runs inside Guarded(), whose frame and steps hold no object with a destructor.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <iterator>
#include <utility>

#include "formats/DecodeSupport.h"
#include "formats/Exif.h"
#include "formats/ImageFormats.h"
#include "formats/Orientation.h"
#include "formats/SourceReader.h"

namespace zenivor {
namespace {

using formats::SourceReader;

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Ancillary chunks are held in memory before they are looked at; larger ones are skipped.
constexpr png_alloc_size_t kMaxChunkBytes = 4 << 20;
constexpr png_byte kExifChunk[] = {'e', 'X', 'I', 'f', 0};

// What the libpng callbacks share with the decoder. Destroying it frees libpng's state.
struct PngSession {
    explicit PngSession(ByteSource& source) : reader(source) {}
    ~PngSession() {
        if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
    }
    PngSession(const PngSession&) = delete;
    PngSession& operator=(const PngSession&) = delete;

    SourceReader reader;
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[200] = {};
    int orientation = formats::kUprightOrientation;
    bool exifSeen = false;  // the first eXIf chunk before the pixels decides, or none
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
    if (session->reader.ReadExactly({out, count})) return;
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

// The fewest bytes the image's compressed rows can take: deflate packs at most 1032 bytes into
// one (zlib's technical notes), and the rows hold at least every stored sample's bits.
std::uint64_t MinimumDataBytes(const PngSession& session) {
    const std::uint64_t rowBytes = png_get_rowbytes(session.png, session.info);
    return rowBytes * png_get_image_height(session.png, session.info) / 1032;
}

ImageSize StoredSize(const PngSession& session) {
    return {static_cast<int>(png_get_image_width(session.png, session.info)),
            static_cast<int>(png_get_image_height(session.png, session.info))};
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

// Decode the rows, each pass of an interlaced image over the rows of the last, then check
// that the file ends as a PNG does.
Result<void> ReadPixels(PngSession& session, int passes, RgbImage& image) {
    const bool read = Guarded(session.png, [&session, passes, &image] {
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < image.height; ++y) png_read_row(session.png, image.Row(y), nullptr);
        png_read_end(session.png, nullptr);
    });
    if (!read) return SessionError(session);
    return {};
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
        if (Result<void> opened = Open(session); !opened) return opened.Error();
        const ImageSize stored = StoredSize(session);
        if (Result<void> fits = CheckSize(OrientedSize(stored, session.orientation), expected); !fits)
            return fits.Error();
        if (Result<void> held = CheckDataCanHold(stored, source.Size(), MinimumDataBytes(session)); !held)
            return held.Error();
        const Result<int> passes = SetRgbOutput(session);
        if (!passes) return passes.Error();
        Result<RgbImage> image = formats::AllocateImage(stored);
        if (!image) return image;
        if (Result<void> read = ReadPixels(session, *passes, *image); !read) return read.Error();
        return formats::Upright(std::move(*image), session.orientation);
    }
};

}  // namespace

const ImageDecoder& PngDecoder() {
    static const PngFormat decoder;
    return decoder;
}

}  // namespace zenivor
