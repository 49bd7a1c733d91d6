// JPEG through libjpeg-turbo, pulling the file's bytes in bounded chunks. libjpeg reports
// errors through error_exit, which must not return: it longjmps back into Guarded(), whose
// frame and steps hold no object with a destructor. Warnings about corrupt data are errors
// too, since libjpeg would go on and fill the damaged part with grey.

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
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

constexpr std::uint8_t kJpegSignature[] = {0xFF, 0xD8, 0xFF};
constexpr std::size_t kMaxSegmentBytes = 65533;  // a marker segment's contents at most
// The work of a progressive file's scans, counted as blocks times scans (each scan passes over
// the blocks of its components, however little it codes for them): real files have about ten
// scans, so an 8192 x 4096 panorama takes some ten million; hundreds of scans over a large image
// only make a crafted file slow. A file may take more the larger it is, as long as every byte
// could code that much.
// Real progressive files have a dozen scans; hundreds only make a crafted file slow.
constexpr int kMaxScans = 500;
constexpr std::uint64_t kBaseBlockScans = std::uint64_t{40} << 20;
constexpr std::uint64_t kBlockScansPerByte = 16;
// libjpeg's own memory (a progressive image's coefficients, 128 bytes a block, above all).
constexpr long kMaxLibjpegMemory = 256L << 20;
// An ICC profile's APP2 segments start with this mark, then the segment's number and the count.
constexpr std::uint8_t kProfileMark[] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};

// What libjpeg's callbacks share with the decoder. Destroying it frees libjpeg's state.
struct JpegSession {
    explicit JpegSession(ByteSource& source)
        : reader(source),
          segment(kMaxSegmentBytes),
          blockScanBudget(std::max(kBaseBlockScans, kBlockScansPerByte * source.Size())) {}
    ~JpegSession() { jpeg_destroy_decompress(&cinfo); }  // safe before and after jpeg_create_decompress
    JpegSession(const JpegSession&) = delete;
    JpegSession& operator=(const JpegSession&) = delete;

    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr input{};
    jpeg_progress_mgr progress{};
    SourceReader reader;
    std::vector<std::uint8_t> segment;  // the APP1 segment being looked at for Exif data
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
    int messageCode = 0;
    bool exifSeen = false;
    int orientation = formats::kUprightOrientation;
    std::uint64_t blockScanBudget;
    std::vector<std::vector<std::uint8_t>> profileParts;  // by their numbers, from 1
    std::size_t profileBytes = 0;
    bool profileBroken = false;  // parts that disagree, or more than a profile may take
};

JpegSession& SessionOf(j_common_ptr cinfo) { return *static_cast<JpegSession*>(cinfo->client_data); }
JpegSession& SessionOf(j_decompress_ptr cinfo) { return *static_cast<JpegSession*>(cinfo->client_data); }

template <typename Steps>
bool Guarded(JpegSession& session, Steps&& steps) {
    if (setjmp(session.jump)) return false;
    steps();
    return true;
}

// Errors: keep libjpeg's words and jump back.
[[noreturn]] void OnError(j_common_ptr cinfo) {
    JpegSession& session = SessionOf(cinfo);
    session.messageCode = cinfo->err->msg_code;
    (*cinfo->err->format_message)(cinfo, session.message);
    std::longjmp(session.jump, 1);
}

// The warnings that mean the file is damaged; the rest (an unknown JFIF revision, a bad ICC
// profile, which we do not use) leave the pixels as the file means them.
bool IsCorruptDataWarning(int code) { return code != JWRN_JFIF_MAJOR && code != JWRN_BOGUS_ICC; }

void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && IsCorruptDataWarning(cinfo->err->msg_code)) OnError(cinfo);
}

void IgnoreOutput(j_common_ptr) {}  // libjpeg would print on the console

std::uint64_t BlockCount(const jpeg_decompress_struct& cinfo) {
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo.num_components; ++i)
        blocks += std::uint64_t{cinfo.comp_info[i].width_in_blocks} * cinfo.comp_info[i].height_in_blocks;
    return blocks;
}

void OnProgress(j_common_ptr cinfo) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    JpegSession& session = SessionOf(cinfo);
    if (decompress->input_scan_number > kMaxScans) {
        std::snprintf(session.message, sizeof session.message, "more than %d scans", kMaxScans);
        std::longjmp(session.jump, 1);
    }
    if (!decompress->progressive_mode) return;
    const std::uint64_t scans = static_cast<std::uint64_t>(std::max(decompress->input_scan_number, 0));
    if (BlockCount(*decompress) * scans <= session.blockScanBudget) return;
    std::snprintf(session.message, sizeof session.message, "%d scans, more than an image of this size needs",
                  decompress->input_scan_number);
    session.messageCode = -1;
    std::longjmp(session.jump, 1);
}

// Read the source: the next chunk, or at its end the warning libjpeg itself gives for a
// truncated file, which OnMessage turns into an error.
void NoStart(j_decompress_ptr) {}
void NoEnd(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    JpegSession& session = SessionOf(cinfo);
    const std::span<const std::uint8_t> chunk = session.reader.NextChunk();
    if (!chunk.empty()) {
        cinfo->src->next_input_byte = chunk.data();
        cinfo->src->bytes_in_buffer = chunk.size();
        return TRUE;
    }
    if (session.reader.Failure()) std::longjmp(session.jump, 1);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    static const JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};  // libjpeg's usual stand-in, never reached
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr& input = *cinfo->src;
    const auto wanted = static_cast<std::uint64_t>(count);
    if (wanted <= input.bytes_in_buffer) {
        input.next_input_byte += wanted;
        input.bytes_in_buffer -= static_cast<std::size_t>(wanted);
        return;
    }
    SessionOf(cinfo).reader.Skip(wanted - input.bytes_in_buffer);
    input.bytes_in_buffer = 0;
}

// Read an APP1 segment: the first one with Exif data gives the orientation, others are skipped.
void ReadInput(j_decompress_ptr cinfo, std::uint8_t* out, std::size_t count) {
    jpeg_source_mgr& input = *cinfo->src;
    while (count != 0) {
        if (input.bytes_in_buffer == 0) (*input.fill_input_buffer)(cinfo);
        const std::size_t taken = std::min(count, input.bytes_in_buffer);
        std::memcpy(out, input.next_input_byte, taken);
        input.next_input_byte += taken;
        input.bytes_in_buffer -= taken;
        out += taken, count -= taken;
    }
}

// A marker segment's length field: the bytes of contents after it.
std::size_t SegmentContents(j_decompress_ptr cinfo) {
    std::uint8_t lengthBytes[2];
    ReadInput(cinfo, lengthBytes, sizeof lengthBytes);
    const int length = (lengthBytes[0] << 8 | lengthBytes[1]) - 2;
    if (length < 0) ERREXIT(cinfo, JERR_BAD_LENGTH);
    return static_cast<std::size_t>(length);
}

boolean ReadApp1(j_decompress_ptr cinfo) {
    JpegSession& session = SessionOf(cinfo);
    const std::size_t contents = SegmentContents(cinfo);
    if (session.exifSeen) {
        SkipInput(cinfo, static_cast<long>(contents));
        return TRUE;
    }
    ReadInput(cinfo, session.segment.data(), contents);
    const std::span<const std::uint8_t> segment(session.segment.data(), contents);
    session.exifSeen = formats::IsExifSegment(segment);
    session.orientation = formats::App1Orientation(segment);
    return TRUE;
}

// Read an APP2 segment: the parts of an ICC profile are kept by their numbers.
boolean ReadApp2(j_decompress_ptr cinfo) {
    JpegSession& session = SessionOf(cinfo);
    const std::size_t contents = SegmentContents(cinfo);
    ReadInput(cinfo, session.segment.data(), contents);
    constexpr std::size_t kHead = sizeof kProfileMark + 2;
    if (contents < kHead || !std::equal(std::begin(kProfileMark), std::end(kProfileMark), session.segment.begin()))
        return TRUE;
    const int number = session.segment[sizeof kProfileMark], count = session.segment[sizeof kProfileMark + 1];
    if (session.profileParts.empty()) session.profileParts.resize(static_cast<std::size_t>(count));
    session.profileBytes += contents - kHead;
    if (number < 1 || number > count || static_cast<std::size_t>(count) != session.profileParts.size() ||
        !session.profileParts[number - 1].empty() || session.profileBytes > formats::kMaxProfileBytes) {
        session.profileBroken = true;
        return TRUE;
    }
    session.profileParts[number - 1].assign(session.segment.begin() + kHead, session.segment.begin() + contents);
    return TRUE;
}

// The profile's parts put together, when every one of them is there.
std::vector<std::uint8_t> ProfileOf(const JpegSession& session) {
    std::vector<std::uint8_t> profile;
    if (session.profileBroken) return profile;
    for (const std::vector<std::uint8_t>& part : session.profileParts) {
        if (part.empty()) return {};
        profile.insert(profile.end(), part.begin(), part.end());
    }
    return profile;
}

// The source's own error when a read failed, else libjpeg's in the code that fits it.
Error SessionError(const JpegSession& session) {
    if (session.reader.Failure()) return *session.reader.Failure();
    ErrorKind code = errc::BadJpeg;
    if (session.messageCode == JERR_IMAGE_TOO_BIG) code = errc::TooLarge;
    if (session.messageCode == JERR_OUT_OF_MEMORY) code = errc::OutOfMemory;
    // Past the memory libjpeg may take, it asks for a backing store, which it has none of.
    if (session.messageCode == JERR_NO_BACKING_STORE || session.messageCode == -1) code = errc::OverBudget;
    if (session.messageCode == JERR_NO_BACKING_STORE)
        return Error{code, 0, "libjpeg would need more than 256 MiB for the image"};
    return Error{code, 0, session.message};
}

void InstallCallbacks(JpegSession& session) {
    session.cinfo.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = OnError;
    session.errors.emit_message = OnMessage;
    session.errors.output_message = IgnoreOutput;
    session.cinfo.client_data = &session;
    session.input.init_source = NoStart;
    session.input.fill_input_buffer = FillInput;
    session.input.skip_input_data = SkipInput;
    session.input.resync_to_restart = jpeg_resync_to_restart;
    session.input.term_source = NoEnd;
    session.progress.progress_monitor = OnProgress;
}

// Read the header: the markers up to the first scan.
Result<void> Open(JpegSession& session) {
    InstallCallbacks(session);
    int header = JPEG_SUSPENDED;
    const bool read = Guarded(session, [&session, &header] {
        jpeg_create_decompress(&session.cinfo);
        session.cinfo.src = &session.input;
        session.cinfo.progress = &session.progress;
        session.cinfo.mem->max_memory_to_use = kMaxLibjpegMemory;
        jpeg_set_marker_processor(&session.cinfo, JPEG_APP0 + 1, ReadApp1);
        jpeg_set_marker_processor(&session.cinfo, JPEG_APP0 + 2, ReadApp2);
        header = jpeg_read_header(&session.cinfo, TRUE);
    });
    if (!read) return SessionError(session);
    if (header != JPEG_HEADER_OK) return Error{errc::BadJpeg, 0, "no image in the file"};
    return {};
}

// The fewest bytes a Huffman-coded image can take: every block of every component is coded in
// one scan or another with at least one bit for its DC coefficient. (An arithmetic coder can
// take less than a bit a block, so it has no such floor.)
std::uint64_t MinimumDataBytes(const JpegSession& session) {
    if (session.cinfo.arith_code) return 0;
    std::uint64_t blocks = 0;
    for (int i = 0; i < session.cinfo.num_components; ++i) {
        const jpeg_component_info& component = session.cinfo.comp_info[i];
        blocks += std::uint64_t{component.width_in_blocks} * component.height_in_blocks;
    }
    return blocks / 8;
}

ImageSize StoredSize(const JpegSession& session) {
    return {static_cast<int>(session.cinfo.image_width), static_cast<int>(session.cinfo.image_height)};
}

bool IsInk(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

// Ink to light, in the image's blue-green-red order: what cyan lets through is red, magenta's
// green, yellow's blue, each dimmed by what the black ink lets through. Adobe's files store each
// ink inverted (255 is none, so the value is the light let through), others store it plainly.
void CmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned throughBlack = inverted ? cmyk[3] : 255u - cmyk[3];
        for (int channel = 0; channel < 3; ++channel) {
            const unsigned throughInk = inverted ? cmyk[channel] : 255u - cmyk[channel];
            bgr[2 - channel] = static_cast<std::uint8_t>((throughInk * throughBlack + 127) / 255);
        }
    }
}

// Start decoding: colour from libjpeg where it converts (in the image's byte order, which
// libjpeg-turbo writes directly), CMYK (from CMYK or YCCK) for us to; at
// 1 / factor of the size, which libjpeg does in its transform at a fraction of the work.
Result<void> Start(JpegSession& session, unsigned factor) {
    const bool ink = IsInk(session.cinfo.jpeg_color_space);
    session.cinfo.out_color_space = ink ? JCS_CMYK : JCS_EXT_BGR;
    session.cinfo.scale_num = 1;
    session.cinfo.scale_denom = factor;
    if (!Guarded(session, [&session] { jpeg_start_decompress(&session.cinfo); })) return SessionError(session);
    const auto reduced = [factor](JDIMENSION side) { return (side + factor - 1) / factor; };
    const bool layout = session.cinfo.output_components == (ink ? 4 : 3) &&
                        session.cinfo.output_width == reduced(session.cinfo.image_width) &&
                        session.cinfo.output_height == reduced(session.cinfo.image_height);
    if (!layout) return Error{errc::BadJpeg, 0, "a pixel layout libjpeg does not turn into RGB"};
    return {};
}

// Decode rows first to first + count straight into out (rowBytes apart), through one row of
// CMYK where that is the output.
Result<void> ReadScanlines(JpegSession& session, std::uint8_t* out, std::size_t rowBytes, int count,
                           std::vector<std::uint8_t>& inkRow) {
    const bool ink = session.cinfo.out_color_space == JCS_CMYK;
    const bool inverted = session.cinfo.saw_Adobe_marker != 0;
    const int width = static_cast<int>(session.cinfo.output_width);
    bool stalled = false;
    const bool read = Guarded(session, [&] {
        for (int r = 0; r < count && !stalled; ++r) {
            std::uint8_t* target = out + static_cast<std::size_t>(r) * rowBytes;
            JSAMPROW row = ink ? inkRow.data() : target;
            stalled = jpeg_read_scanlines(&session.cinfo, &row, 1) != 1;
            if (ink && !stalled) CmykToBgr(inkRow.data(), target, width, inverted);
        }
    });
    if (!read) return SessionError(session);
    if (stalled) return Error{errc::BadJpeg, 0, "libjpeg gave no more rows"};
    return {};
}

// Read on to the end of the image.
Result<void> Finish(JpegSession& session) {
    if (!Guarded(session, [&session] { jpeg_finish_decompress(&session.cinfo); })) return SessionError(session);
    return {};
}

Result<void> ReadPixels(JpegSession& session, RgbImage& image, std::vector<std::uint8_t>& inkRow) {
    if (Result<void> read = ReadScanlines(session, image.pixels.data(), image.RowBytes(), image.height, inkRow); !read)
        return read;
    return Finish(session);
}

// One row of CMYK for libjpeg to write into; none for RGB output.
Result<void> AllocateInkRow(const JpegSession& session, std::vector<std::uint8_t>& inkRow) {
    if (session.cinfo.out_color_space != JCS_CMYK) return {};
    try {
        inkRow.resize(static_cast<std::size_t>(session.cinfo.output_width) * 4);
        return {};
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
}

class JpegFormat final : public ImageDecoder {
public:
    std::string_view Name() const override { return "JPEG"; }

    bool Recognises(std::span<const std::uint8_t> head) const override {
        return head.size() >= sizeof kJpegSignature &&
               std::equal(std::begin(kJpegSignature), std::end(kJpegSignature), head.begin());
    }

    Result<ImageSize> ReadSize(ByteSource& source) const override {
        JpegSession session(source);
        if (Result<void> opened = Open(session); !opened) return opened.Error();
        const ImageSize upright = OrientedSize(StoredSize(session), session.orientation);
        if (Result<void> decodable = CheckDecodableSize(upright); !decodable) return decodable.Error();
        return upright;
    }

    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override {
        return ReadReduced(source, expected, 1);
    }

    Result<RgbImage> ReadReduced(ByteSource& source, ImageSize expected, int largestFactor) const override {
        JpegSession session(source);
        if (Result<void> opened = OpenAndStart(session, source, expected, largestFactor); !opened)
            return opened.Error();
        std::vector<std::uint8_t> inkRow;
        if (Result<void> row = AllocateInkRow(session, inkRow); !row) return row.Error();
        Result<RgbImage> image = formats::AllocateImage(
            {static_cast<int>(session.cinfo.output_width), static_cast<int>(session.cinfo.output_height)});
        if (!image) return image;
        if (Result<void> read = ReadPixels(session, *image, inkRow); !read) return read.Error();
        if (const std::unique_ptr<ProfileTransform> profile = ProfileFor(session))
            for (int y = 0; y < image->height; ++y) profile->ToSrgbBytes(image->Row(y), image->width);
        return formats::Upright(std::move(*image), session.orientation);
    }

    // Upright images a band of scanlines at a time, so that the whole image is never held.
    Result<void> ReadRows(ByteSource& source, ImageSize expected, int largestFactor, RowSink& sink) const override {
        JpegSession session(source);
        if (Result<void> opened = OpenAndStart(session, source, expected, largestFactor); !opened) return opened;
        if (session.orientation != formats::kUprightOrientation)
            return ImageDecoder::ReadRows(source, expected, largestFactor, sink);
        return ReadBands(session, sink);
    }

private:
    static Result<void> OpenAndStart(JpegSession& session, ByteSource& source, ImageSize expected, int largestFactor) {
        if (Result<void> opened = Open(session); !opened) return opened;
        const ImageSize stored = StoredSize(session);
        if (Result<void> fits = CheckSize(OrientedSize(stored, session.orientation), expected); !fits) return fits;
        if (Result<void> held = CheckDataCanHold(stored, source.Size(), MinimumDataBytes(session)); !held) return held;
        // libjpeg scales by 1/2, 1/4 and 1/8 among others; only powers of two keep pixels aligned.
        unsigned factor = 1;
        while (factor < 8 && 2 * factor <= static_cast<unsigned>(std::max(largestFactor, 1))) factor *= 2;
        return Start(session, factor);
    }

    // An RGB profile's transform for the decoded rows, which are colour (not ink) here.
    static std::unique_ptr<ProfileTransform> ProfileFor(const JpegSession& session) {
        if (session.cinfo.out_color_space != JCS_EXT_BGR) return nullptr;
        return ProfileTransform::FromIcc(ProfileOf(session), ProfileInput::Bgr8);
    }

    static Result<void> ReadBands(JpegSession& session, RowSink& sink) {
        const ImageSize size{static_cast<int>(session.cinfo.output_width),
                             static_cast<int>(session.cinfo.output_height)};
        const std::unique_ptr<ProfileTransform> profile = ProfileFor(session);
        const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 3;
        std::vector<std::uint8_t> inkRow, bytes;
        std::vector<float> band;
        if (Result<void> row = AllocateInkRow(session, inkRow); !row) return row;
        try {
            bytes.resize(rowBytes * kBandRows);
            band.resize(rowBytes * kBandRows);
        } catch (const std::bad_alloc&) {
            return Error{errc::OutOfMemory};
        }
        if (Result<void> started = sink.Start({size, Light::Display}); !started) return started;
        for (int y = 0; y < size.height; y += kBandRows) {
            const int rows = std::min(kBandRows, size.height - y);
            if (Result<void> read = ReadScanlines(session, bytes.data(), rowBytes, rows, inkRow); !read) return read;
            const std::size_t values = rowBytes * static_cast<std::size_t>(rows);
            if (profile != nullptr)
                for (int r = 0; r < rows; ++r) profile->ToSrgbBytes(bytes.data() + r * rowBytes, size.width);
            LinearFromBytes({bytes.data(), values}, {band.data(), values});
            if (Result<void> taken = sink.Take({band.data(), values}, rows); !taken) return taken;
        }
        return Finish(session);
    }
};

}  // namespace

const ImageDecoder& JpegDecoder() {
    static const JpegFormat decoder;
    return decoder;
}

}  // namespace zenivor
