#pragma once
// Images in files: which format a file holds, its size, its pixels, and writing a face.
//
// The program's first design did this work through a closed image library and Windows' memory
// and drawing calls. Where each of its calls went:
//
//   ImgDLLStringInitDLL          nothing to initialise: nothing here keeps state
//   ImgDLLGetTGADimensions       ReadImageSize
//   ImgDLLReadRGBFromTGA         ReadImage, with the size asked for
//   ImgDLLGetLastError           the Error a Result carries (util/Result.h)
//   ImgDLLDrawRGBCrop            DrawCrop into the drawing surface (ImageOps.h)
//   ImgDLLDCToRGB                a copy of the drawing surface, an RgbImage like any other
//   ImgDLLHorizontalFlipRGB      FlipHorizontally (ImageOps.h)
//   ImgDLLQuickRotateRGB         Turned: code 0 Turn::Clockwise, 1 Turn::Half, 2 Turn::CounterClockwise
//   ImgDLLDrawRGB2 through a clip region made by CreatePolygonRgn, SaveDC and SelectClipRgn,
//                                undone by RestoreDC and DeleteObject: DrawPolygon (ImageOps.h)
//   ImgDLLSaveRGBToTGA           WriteTga
//   GlobalLock, GlobalUnlock,    nothing: an RgbImage owns its pixels and frees them itself
//   GlobalFree
//   CopyFileA                    FileSystem::Copy (util/FileSystem.h)

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "imaging/ByteSource.h"
#include "imaging/ImageDecoder.h"
#include "imaging/RgbImage.h"
#include "util/FileSystem.h"

namespace zenivor {

// The formats a read may meet, in the order they are tried; the last is taken when no
// signature matches.
using DecoderList = std::span<const ImageDecoder* const>;
// TGA alone, the format the core reads itself.
DecoderList CoreDecoders();

// An open file as a decoder's byte source.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const InputFile& file) : file_(file) {}
    std::uint64_t Size() const override { return file_.Size(); }
    Result<std::size_t> ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        return file_.ReadAt(offset, out);
    }
    Result<std::size_t> ReadScatteredAt(std::uint64_t offset,
                                        std::span<const std::span<std::uint8_t>> pieces) override {
        return file_.ReadScatteredAt(offset, pieces);
    }

private:
    const InputFile& file_;
};

// The common name of a format whose signature opens the bytes ("PNG", "GIF", ...), or empty.
std::string_view FormatNamedBySignature(std::span<const std::uint8_t> head);

// The detail of a read's error when the file is empty.
inline constexpr std::string_view kEmptyFileDetail = "the file is empty";

// The image's size from its header; for a file no decoder can read, the error's detail names
// the format the file looks like, when its signature tells ("it looks like GIF", "it looks like
// text"), or says that it is empty.
Result<ImageSize> ReadImageSize(FileSystem& files, const std::filesystem::path& path, DecoderList decoders);
// The image's size and what its linear values mean (see ImageDecoder::LightHeld).
struct ImageInfo {
    ImageSize size;
    Light light = Light::Display;
};
Result<ImageInfo> ReadImageInfo(FileSystem& files, const std::filesystem::path& path, DecoderList decoders);
// The whole image; expected as for ImageDecoder::Read.
Result<RgbImage> ReadImage(FileSystem& files, const std::filesystem::path& path, DecoderList decoders,
                           ImageSize expected);

// The whole image in an open file.
Result<RgbImage> ReadImage(InputFile file, DecoderList decoders, ImageSize expected);

// The whole image, or shrunk by a power of two up to largestFactor where its format can do
// that for less (see ImageDecoder::ReadReduced).
Result<RgbImage> ReadImageReduced(FileSystem& files, const std::filesystem::path& path, DecoderList decoders,
                                  ImageSize expected, int largestFactor);

// The image's rows in linear light, handed to sink (see ImageDecoder::ReadRows).
Result<void> ReadImageRows(FileSystem& files, const std::filesystem::path& path, DecoderList decoders,
                           ImageSize expected, int largestFactor, RowSink& sink);

// Stages the image as the new folder/name in the program's TGA layout, straight from its pixels.
Result<StagedFile> StageTga(FileSystem& files, OutputFolder& folder, const std::string& name, const RgbImage& image);
// The same, put in place at once.
Result<void> WriteTga(FileSystem& files, OutputFolder& folder, const std::string& name, const RgbImage& image);

}  // namespace zenivor
