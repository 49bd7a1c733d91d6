// OpenEXR through the OpenEXR core library (the C API of libOpenEXRCore, which needs no C++
// runtime and throws nothing): the first part of a file, scanline or tiled (the full-resolution
// level of a mipmapped one), half, float or unsigned samples, every compression the library
// reads, with R, G and B channels or a Y channel alone (alpha and other channels ignored). The
// values are scene-referred linear light, handed over a chunk of rows (or a row of tiles) at a
// time, so a large panorama is never whole in memory.

#include <openexr.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "formats/DecodeSupport.h"
#include "formats/ImageFormats.h"

namespace zenivor {
namespace {

constexpr std::uint8_t kExrSignature[] = {0x76, 0x2F, 0x31, 0x01};
// Tiles larger than this are no real file's (they are 32 to 256 on a side).
constexpr int kMaxTileSide = 8192;

struct ExrSession {
    explicit ExrSession(ByteSource& source) : source(source) {}
    ~ExrSession() {
        if (context != nullptr) exr_finish(&context);
    }
    ExrSession(const ExrSession&) = delete;
    ExrSession& operator=(const ExrSession&) = delete;

    ByteSource& source;
    exr_context_t context = nullptr;
    std::optional<Error> failure;  // the source's own error
    std::string message;           // the library's first message
};

ExrSession& SessionOf(exr_const_context_t context) {
    void* user = nullptr;
    exr_get_user_data(context, &user);
    return *static_cast<ExrSession*>(user);
}

int64_t OnRead(exr_const_context_t, void* user, void* buffer, uint64_t size, uint64_t offset,
               exr_stream_error_func_ptr_t) {
    auto& session = *static_cast<ExrSession*>(user);
    if (session.failure) return -1;
    const Result<std::size_t> got = session.source.ReadAt(offset, {static_cast<std::uint8_t*>(buffer), size});
    if (!got) {
        session.failure = got.Error();
        return -1;
    }
    return static_cast<int64_t>(*got);
}

int64_t OnSize(exr_const_context_t, void* user) {
    return static_cast<int64_t>(static_cast<ExrSession*>(user)->source.Size());
}

void OnError(exr_const_context_t context, exr_result_t code, const char* message) {
    ExrSession& session = SessionOf(context);
    if (session.message.empty()) session.message = message != nullptr ? message : exr_get_default_error_message(code);
}

Error SessionError(const ExrSession& session, exr_result_t code) {
    if (session.failure) return *session.failure;
    if (code == EXR_ERR_OUT_OF_MEMORY) return Error{errc::OutOfMemory};
    return Error{errc::BadExr, 0, session.message.empty() ? exr_get_default_error_message(code) : session.message};
}

Result<void> Open(ExrSession& session) {
    // EXR_DEFAULT_CONTEXT_INITIALIZER's values, spelt out (its zeros stand for null pointers).
    exr_context_initializer_t init{};
    init.size = sizeof init;
    init.zip_level = -2;
    init.dwa_quality = -1.F;
    init.error_handler_fn = OnError;
    init.user_data = &session;
    init.read_fn = OnRead;
    init.size_fn = OnSize;
    // The image's size is judged by ReadLayout against the program's own limits.
    init.max_tile_width = kMaxTileSide;
    init.max_tile_height = kMaxTileSide;
    const exr_result_t opened = exr_start_read(&session.context, "OpenEXR", &init);
    if (opened != EXR_ERR_SUCCESS) return SessionError(session, opened);
    return {};
}

// Where each channel read goes in a pixel of blue, green, red; luminance fills all three.
struct Channels {
    std::array<int, 3> bgr = {-1, -1, -1};  // channel indices of B, G, R
    int luminance = -1;
    bool Grey() const { return bgr[0] < 0; }
};

struct ExrLayout {
    ImageSize size;
    int left = 0;  // the data window's first column and row
    int top = 0;
    bool tiled = false;
    int chunkRows = 1;  // scanlines per chunk, or the tiles' height
    int tileWidth = 0;
    Channels channels;
};

Result<Channels> ChannelsOf(const exr_attr_chlist_t& list) {
    Channels channels;
    for (int i = 0; i < list.num_channels; ++i) {
        const exr_attr_chlist_entry_t& entry = list.entries[i];
        const std::string name(entry.name.str, static_cast<std::size_t>(entry.name.length));
        const int at = name == "B" ? 0 : name == "G" ? 1 : name == "R" ? 2 : -1;
        if (at < 0 && name != "Y") continue;
        if (entry.x_sampling != 1 || entry.y_sampling != 1) return formats::Unsupported("subsampled channels");
        if (at >= 0) channels.bgr[static_cast<std::size_t>(at)] = i;
        if (name == "Y") channels.luminance = i;
    }
    const bool rgb = std::all_of(channels.bgr.begin(), channels.bgr.end(), [](int c) { return c >= 0; });
    if (!rgb) channels.bgr = {-1, -1, -1};
    if (!rgb && channels.luminance < 0) return formats::Unsupported("no R, G and B channels, nor Y");
    return channels;
}

Result<ExrLayout> ReadLayout(ExrSession& session) {
    exr_storage_t storage{};
    exr_attr_box2i_t window{};
    const exr_attr_chlist_t* list = nullptr;
    exr_result_t code = exr_get_storage(session.context, 0, &storage);
    if (code == EXR_ERR_SUCCESS) code = exr_get_data_window(session.context, 0, &window);
    if (code == EXR_ERR_SUCCESS) code = exr_get_channels(session.context, 0, &list);
    if (code != EXR_ERR_SUCCESS || list == nullptr) return SessionError(session, code);
    if (storage != EXR_STORAGE_SCANLINE && storage != EXR_STORAGE_TILED) return formats::Unsupported("deep samples");
    exr_compression_t compression{};
    if (exr_get_compression(session.context, 0, &compression) == EXR_ERR_SUCCESS &&
        (compression == EXR_COMPRESSION_DWAA || compression == EXR_COMPRESSION_DWAB))
        return formats::Unsupported("DWA compression, which the OpenEXR library of this system cannot decode");
    ExrLayout layout;
    const std::int64_t width = std::int64_t{window.max.x} - window.min.x + 1;
    const std::int64_t height = std::int64_t{window.max.y} - window.min.y + 1;
    if (width <= 0 || height <= 0) return Error{errc::ZeroSize};
    if (width > kMaxImageSide || height > kMaxImageSide)
        return Error{errc::TooLarge, 0, std::to_string(width) + " x " + std::to_string(height) + " pixels"};
    layout.size = {static_cast<int>(width), static_cast<int>(height)};
    layout.left = window.min.x, layout.top = window.min.y;
    layout.tiled = storage == EXR_STORAGE_TILED;
    if (layout.tiled) {
        int32_t tileWidth = 0, tileHeight = 0;
        code = exr_get_tile_sizes(session.context, 0, 0, 0, &tileWidth, &tileHeight);
        if (code != EXR_ERR_SUCCESS || tileWidth <= 0 || tileHeight <= 0) return SessionError(session, code);
        layout.tileWidth = tileWidth, layout.chunkRows = tileHeight;
    } else {
        int32_t rows = 0;
        code = exr_get_scanlines_per_chunk(session.context, 0, &rows);
        if (code != EXR_ERR_SUCCESS || rows <= 0) return SessionError(session, code);
        layout.chunkRows = rows;
    }
    Result<Channels> channels = ChannelsOf(*list);
    if (!channels) return channels.Error();
    layout.channels = *channels;
    return layout;
}

// The fewest bytes the image's data takes: the table of where its chunks lie, 8 bytes each, and
// for each chunk its place and size, 8 bytes more.
std::uint64_t MinimumDataBytes(const ExrLayout& layout) {
    const auto across = layout.tiled ? (static_cast<std::uint64_t>(layout.size.width) + layout.tileWidth - 1) /
                                           static_cast<std::uint64_t>(layout.tileWidth)
                                     : 1;
    const auto down = (static_cast<std::uint64_t>(layout.size.height) + layout.chunkRows - 1) /
                      static_cast<std::uint64_t>(layout.chunkRows);
    return across * down * 16;
}

// Decodes one chunk's channels into a band of rows: pixel (x, y) of the chunk goes to the band's
// row (y + rowInBand), column (x + column).
class ChunkDecoder {
public:
    ChunkDecoder(ExrSession& session, const ExrLayout& layout) : session_(session), layout_(layout) {}
    ~ChunkDecoder() {
        if (started_) exr_decoding_destroy(session_.context, &pipeline_);
    }
    ChunkDecoder(const ChunkDecoder&) = delete;
    ChunkDecoder& operator=(const ChunkDecoder&) = delete;

    Result<void> Decode(const exr_chunk_info_t& chunk, float* band, int column) {
        exr_result_t code = started_ ? exr_decoding_update(session_.context, 0, &chunk, &pipeline_)
                                     : exr_decoding_initialize(session_.context, 0, &chunk, &pipeline_);
        if (code != EXR_ERR_SUCCESS) return SessionError(session_, code);
        started_ = true;
        const std::size_t rowBytes = static_cast<std::size_t>(layout_.size.width) * 3 * sizeof(float);
        for (int c = 0; c < pipeline_.channel_count; ++c) {
            exr_coding_channel_info_t& channel = pipeline_.channels[c];
            const int at = PlaceOf(c);
            channel.decode_to_ptr =
                at < 0 ? nullptr : reinterpret_cast<std::uint8_t*>(band + static_cast<std::size_t>(column) * 3 + at);
            channel.user_pixel_stride = 3 * sizeof(float);
            channel.user_line_stride = static_cast<int32_t>(rowBytes);
            channel.user_bytes_per_element = sizeof(float);
            channel.user_data_type = EXR_PIXEL_FLOAT;
        }
        // The routines depend on which channels are read where, so they are chosen again.
        code = exr_decoding_choose_default_routines(session_.context, 0, &pipeline_);
        if (code != EXR_ERR_SUCCESS) return SessionError(session_, code);
        code = exr_decoding_run(session_.context, 0, &pipeline_);
        if (code != EXR_ERR_SUCCESS) return SessionError(session_, code);
        return {};
    }

private:
    // Blue, green or red for their channels; luminance into blue, copied to the others later.
    int PlaceOf(int channel) const {
        const Channels& channels = layout_.channels;
        if (channels.Grey()) return channel == channels.luminance ? 0 : -1;
        for (int at = 0; at < 3; ++at)
            if (channels.bgr[static_cast<std::size_t>(at)] == channel) return at;
        return -1;
    }

    ExrSession& session_;
    const ExrLayout& layout_;
    exr_decode_pipeline_t pipeline_{};
    bool started_ = false;
};

// One band: a chunk of scanlines, or a row of tiles.
Result<void> ReadBand(ExrSession& session, const ExrLayout& layout, ChunkDecoder& decoder, int firstRow, float* band) {
    exr_chunk_info_t chunk{};
    if (!layout.tiled) {
        const exr_result_t code = exr_read_scanline_chunk_info(session.context, 0, layout.top + firstRow, &chunk);
        if (code != EXR_ERR_SUCCESS) return SessionError(session, code);
        return decoder.Decode(chunk, band, 0);
    }
    const int tileRow = firstRow / layout.chunkRows;
    for (int tile = 0; tile * layout.tileWidth < layout.size.width; ++tile) {
        const exr_result_t code = exr_read_tile_chunk_info(session.context, 0, tile, tileRow, 0, 0, &chunk);
        if (code != EXR_ERR_SUCCESS) return SessionError(session, code);
        if (Result<void> decoded = decoder.Decode(chunk, band, tile * layout.tileWidth); !decoded) return decoded;
    }
    return {};
}

// Radiance is never below 0; half's infinities and NaNs are no light a display can show.
void Cleaned(std::span<float> samples, bool grey) {
    for (std::size_t i = 0; i < samples.size(); i += 3) {
        if (grey) samples[i + 1] = samples[i + 2] = samples[i];
        for (std::size_t c = 0; c < 3; ++c) {
            float& value = samples[i + c];
            if (!(value > 0)) value = 0;  // NaN too
            if (value > 1e30F) value = 1e30F;
        }
    }
}

Result<void> ReadPixels(ExrSession& session, const ExrLayout& layout, RowSink& sink) {
    const std::size_t rowSamples = static_cast<std::size_t>(layout.size.width) * 3;
    const std::uint64_t bandBytes = rowSamples * sizeof(float) * static_cast<std::uint64_t>(layout.chunkRows);
    if (bandBytes > formats::kMaxBandBytes) return Error{errc::OverBudget, 0, "chunks of more than 256 MiB"};
    std::vector<float> band;
    try {
        band.resize(rowSamples * static_cast<std::size_t>(layout.chunkRows));
    } catch (const std::bad_alloc&) {
        return Error{errc::OutOfMemory};
    }
    if (Result<void> started = sink.Start({layout.size, Light::Scene}); !started) return started;
    ChunkDecoder decoder(session, layout);
    for (int y = 0; y < layout.size.height; y += layout.chunkRows) {
        const int rows = std::min(layout.chunkRows, layout.size.height - y);
        std::fill(band.begin(), band.end(), 0.0F);
        if (Result<void> read = ReadBand(session, layout, decoder, y, band.data()); !read) return read;
        const std::span<float> taken(band.data(), rowSamples * static_cast<std::size_t>(rows));
        Cleaned(taken, layout.channels.Grey());
        if (Result<void> handed = sink.Take(taken, rows); !handed) return handed;
    }
    return {};
}

class ExrFormat final : public ImageDecoder {
public:
    std::string_view Name() const override { return "OpenEXR"; }
    Light LightHeld() const override { return Light::Scene; }

    bool Recognises(std::span<const std::uint8_t> head) const override {
        return head.size() >= sizeof kExrSignature &&
               std::equal(std::begin(kExrSignature), std::end(kExrSignature), head.begin());
    }

    Result<ImageSize> ReadSize(ByteSource& source) const override {
        ExrSession session(source);
        if (Result<void> opened = Open(session); !opened) return opened.Error();
        const Result<ExrLayout> layout = ReadLayout(session);
        if (!layout) return layout.Error();
        if (Result<void> decodable = CheckDecodableSize(layout->size); !decodable) return decodable.Error();
        return layout->size;
    }

    Result<RgbImage> Read(ByteSource& source, ImageSize expected) const override {
        return formats::ImageFromRows(*this, source, expected, 1);
    }

    Result<void> ReadRows(ByteSource& source, ImageSize expected, int, RowSink& sink) const override {
        ExrSession session(source);
        if (Result<void> opened = Open(session); !opened) return opened;
        const Result<ExrLayout> layout = ReadLayout(session);
        if (!layout) return layout.Error();
        if (Result<void> fits = CheckSize(layout->size, expected); !fits) return fits;
        if (Result<void> held = CheckDataCanHold(layout->size, source.Size(), MinimumDataBytes(*layout)); !held)
            return held;
        return ReadPixels(session, *layout, sink);
    }
};

}  // namespace

const ImageDecoder& ExrDecoder() {
    static const ExrFormat decoder;
    return decoder;
}

}  // namespace zenivor
