#include "imaging/ImageFiles.h"

#include <algorithm>
#include <array>

#include "imaging/Tga.h"

namespace zenivor {
namespace {

using namespace std::string_view_literals;

struct Signature {
    std::string_view name;
    std::size_t offset;
    std::string_view bytes;
};

// Formats people hold panoramas in, so a refusal can say what the file is.
constexpr Signature kSignatures[] = {
    {"PNG", 0, "\x89PNG\r\n\x1a\n"sv},
    {"JPEG", 0, "\xff\xd8\xff"sv},
    {"GIF", 0, "GIF8"sv},
    {"BMP", 0, "BM"sv},
    {"TIFF", 0, "II*\0"sv},
    {"TIFF", 0, "MM\0*"sv},
    {"WebP", 8, "WEBP"sv},
    {"Photoshop", 0, "8BPS"sv},
    {"OpenEXR", 0, "\x76\x2f\x31\x01"sv},
    {"Radiance HDR", 0, "#?RADIANCE"sv},
    {"Radiance HDR", 0, "#?RGBE"sv},
    {"DDS", 0, "DDS "sv},
};

bool Matches(std::span<const std::uint8_t> head, const Signature& signature) {
    if (head.size() < signature.offset + signature.bytes.size()) return false;
    return std::equal(signature.bytes.begin(), signature.bytes.end(), head.begin() + signature.offset,
                      [](char expected, std::uint8_t got) { return static_cast<std::uint8_t>(expected) == got; });
}

struct OpenedImage {
    InputFile file;
    const ImageDecoder* decoder = nullptr;
    std::array<std::uint8_t, kSignatureBytes> head{};
    std::size_t headSize = 0;
};

Result<OpenedImage> OpenImage(InputFile file, DecoderList decoders) {
    OpenedImage opened{std::move(file)};
    const Result<std::size_t> got = opened.file.ReadAt(0, opened.head);
    if (!got) return got.Error();
    opened.headSize = *got;
    const std::span head(opened.head.data(), opened.headSize);
    for (const ImageDecoder* decoder : decoders)
        if (decoder->Recognises(head) || decoder == decoders.back()) {
            opened.decoder = decoder;
            break;
        }
    return opened;
}

// Tabs, line ends, printable ASCII and the bytes of UTF-8 sequences: what notes and scripts
// hold, and no image header (TGA's type and colour-map fields are control bytes).
bool LooksLikeText(std::span<const std::uint8_t> head) {
    return !head.empty() && std::all_of(head.begin(), head.end(), [](std::uint8_t byte) {
        return byte == '\t' || byte == '\n' || byte == '\r' || (byte >= 0x20 && byte != 0x7F);
    });
}

// Says what a file that no decoder could read looks like, when its signature tells.
Error Described(Error error, const OpenedImage& opened) {
    if (!error.detail.empty()) return error;
    const std::span head(opened.head.data(), opened.headSize);
    const std::string_view format = FormatNamedBySignature(head);
    if (opened.file.Size() == 0)
        error.detail = kEmptyFileDetail;
    else if (!format.empty() && format != opened.decoder->Name())
        error.detail = "it looks like " + std::string(format);
    else if (format.empty() && LooksLikeText(head))
        error.detail = "it looks like text";
    return error;
}

const ImageDecoder* const kCoreDecoders[] = {&TgaDecoder()};

Result<OpenedImage> OpenImage(FileSystem& files, const std::filesystem::path& path, DecoderList decoders) {
    Result<InputFile> file = files.Open(path);
    if (!file) return file.Error();
    return OpenImage(std::move(*file), decoders);
}

Result<RgbImage> DecodeOpened(Result<OpenedImage> opened, ImageSize expected, int largestFactor) {
    if (!opened) return opened.Error();
    FileSource source(opened->file);
    Result<RgbImage> image = opened->decoder->ReadReduced(source, expected, largestFactor);
    if (!image) return Described(image.Error(), *opened);
    return image;
}

}  // namespace

DecoderList CoreDecoders() { return kCoreDecoders; }

std::string_view FormatNamedBySignature(std::span<const std::uint8_t> head) {
    for (const Signature& signature : kSignatures)
        if (Matches(head, signature)) return signature.name;
    return {};
}

Result<ImageSize> ReadImageSize(FileSystem& files, const std::filesystem::path& path, DecoderList decoders) {
    const Result<ImageInfo> info = ReadImageInfo(files, path, decoders);
    if (!info) return info.Error();
    return info->size;
}

Result<ImageInfo> ReadImageInfo(FileSystem& files, const std::filesystem::path& path, DecoderList decoders) {
    Result<OpenedImage> opened = OpenImage(files, path, decoders);
    if (!opened) return opened.Error();
    FileSource source(opened->file);
    Result<ImageSize> size = opened->decoder->ReadSize(source);
    if (!size) return Described(size.Error(), *opened);
    return ImageInfo{*size, opened->decoder->LightHeld()};
}

Result<void> ReadImageRows(FileSystem& files, const std::filesystem::path& path, DecoderList decoders,
                           ImageSize expected, int largestFactor, RowSink& sink) {
    Result<OpenedImage> opened = OpenImage(files, path, decoders);
    if (!opened) return opened.Error();
    FileSource source(opened->file);
    Result<void> read = opened->decoder->ReadRows(source, expected, largestFactor, sink);
    if (!read) return Described(read.Error(), *opened);
    return read;
}

Result<RgbImage> ReadImage(FileSystem& files, const std::filesystem::path& path, DecoderList decoders,
                           ImageSize expected) {
    return ReadImageReduced(files, path, decoders, expected, 1);
}

Result<RgbImage> ReadImageReduced(FileSystem& files, const std::filesystem::path& path, DecoderList decoders,
                                  ImageSize expected, int largestFactor) {
    return DecodeOpened(OpenImage(files, path, decoders), expected, largestFactor);
}

Result<RgbImage> ReadImage(InputFile file, DecoderList decoders, ImageSize expected) {
    return DecodeOpened(OpenImage(std::move(file), decoders), expected, 1);
}

Result<StagedFile> StageTga(FileSystem& files, OutputFolder& folder, const std::string& name, const RgbImage& image) {
    const auto header = Tga24Header(image);
    const std::vector<ByteSpan> pieces = Tga24Pieces(image, header);
    return files.Stage(folder, name, pieces);
}

Result<void> WriteTga(FileSystem& files, OutputFolder& folder, const std::string& name, const RgbImage& image) {
    const auto header = Tga24Header(image);
    const std::vector<ByteSpan> pieces = Tga24Pieces(image, header);
    return files.Write(folder, name, pieces);
}

}  // namespace zenivor
