#include "imaging/ImgDll.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "imaging/Tga.h"
#include "util/Files.h"

namespace zenivor {
namespace {

thread_local int lastError = kImgOk;

int Fail(ImgError error) {
    lastError = error;
    return 0;
}

std::size_t RgbBytes(int width, int height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
}

bool ValidSize(int width, int height) { return width > 0 && height > 0; }

// Reads up to limit bytes of the file (all of it when limit is empty).
ImgError ReadFileBytes(const std::string& path, std::optional<std::size_t> limit, std::vector<std::uint8_t>& bytes) {
    const auto fsPath = PathFromUtf8(path);
    std::error_code error;
    const auto status = std::filesystem::status(fsPath, error);
    if (error || !std::filesystem::exists(status)) return kImgFileOpen;
    if (!std::filesystem::is_regular_file(status)) return kImgNotAFile;
    std::ifstream file(fsPath, std::ios::binary);
    if (!file) return kImgFileOpen;
    const auto size = std::filesystem::file_size(fsPath, error);
    if (error) return kImgFileRead;
    bytes.resize(limit ? std::min<std::size_t>(*limit, size) : size);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (file.gcount() != static_cast<std::streamsize>(bytes.size())) return kImgFileRead;
    return kImgOk;
}

// Copies a source rectangle to (destX, destY), dropping what falls off the surface or
// outside the clip region.
void Blit(DeviceContext& dc, const std::uint8_t* pixels, int width, int destX, int destY, int srcX, int srcY,
          int cropWidth, int cropHeight) {
    DrawingSurface& surface = dc.Surface();
    const int x0 = std::max(destX, 0);
    const int x1 = std::min(destX + cropWidth, surface.Width());
    const int y0 = std::max(destY, 0);
    const int y1 = std::min(destY + cropHeight, surface.Height());
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* source =
            pixels + RgbBytes(width, srcY + y - destY) + static_cast<std::size_t>(srcX + x0 - destX) * 3;
        std::uint8_t* target = surface.Pixels() + RgbBytes(surface.Width(), y) + static_cast<std::size_t>(x0) * 3;
        if (dc.ClipMask().empty()) {
            std::memcpy(target, source, static_cast<std::size_t>(std::max(x1 - x0, 0)) * 3);
            continue;
        }
        // Copy each run of pixels inside the clip at once.
        const std::uint8_t* inside = dc.ClipMask().data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(surface.Width());
        for (int x = x0; x < x1;) {
            if (inside[x] == 0) {
                ++x;
                continue;
            }
            int end = x;
            while (end < x1 && inside[end] != 0) ++end;
            const std::size_t offset = static_cast<std::size_t>(x - x0) * 3;
            std::memcpy(target + offset, source + offset, static_cast<std::size_t>(end - x) * 3);
            x = end;
        }
    }
}

void RotateQuarter(std::uint8_t* pixels, int size, bool clockwise) {
    const std::vector<std::uint8_t> copy(pixels, pixels + RgbBytes(size, size));
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(size) * 3;
    for (int y = 0; y < size; ++y) {
        // Clockwise, target row y is source column y read upwards; counter-clockwise, source
        // column size - 1 - y read downwards.
        const std::uint8_t* source = clockwise ? copy.data() + stride * (size - 1) + y * 3
                                               : copy.data() + (size - 1 - y) * 3;
        const std::ptrdiff_t step = clockwise ? -stride : stride;
        std::uint8_t* target = pixels + stride * y;
        for (int x = 0; x < size; ++x, source += step, target += 3) {
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
        }
    }
}

void FlipRow(std::uint8_t* row, int width) {
    for (std::uint8_t *left = row, *right = row + (width - 1) * 3; left < right; left += 3, right -= 3)
        for (int channel = 0; channel < 3; ++channel) std::swap(left[channel], right[channel]);
}

}  // namespace

int ImgDLLStringInitDLL() {
    lastError = kImgOk;
    return 1;
}

int ImgDLLGetLastError() { return lastError; }

int ImgDLLGetTGADimensions(const std::string& path, int& width, int& height) {
    std::vector<std::uint8_t> bytes;
    if (const ImgError error = ReadFileBytes(path, kTgaHeaderSize, bytes)) return Fail(error);
    TgaHeader header;
    if (const ImgError error = ParseTgaHeader(bytes, header)) return Fail(error);
    width = header.width;
    height = header.height;
    return 1;
}

HGLOBAL ImgDLLReadRGBFromTGA(const std::string& path, int& width, int& height) {
    std::vector<std::uint8_t> bytes;
    if (const ImgError error = ReadFileBytes(path, std::nullopt, bytes)) return Fail(error);
    TgaHeader header;
    if (const ImgError error = ParseTgaHeader(bytes, header)) return Fail(error);
    if ((width != 0 && width != header.width) || (height != 0 && height != header.height))
        return Fail(kImgUnexpectedSize);
    if (const ImgError error = CheckTgaFileSize(bytes, header)) return Fail(error);
    const HGLOBAL block = GlobalAlloc(RgbBytes(header.width, header.height));
    if (block == 0) return Fail(kImgOutOfMemory);
    auto* out = static_cast<std::uint8_t*>(GlobalLock(block));
    const ImgError error = DecodeTga(bytes, header, out);
    GlobalUnlock(block);
    if (error) {
        GlobalFree(block);
        return Fail(error);
    }
    width = header.width;
    height = header.height;
    return block;
}

int ImgDLLSaveRGBToTGA(const std::string& path, const void* pixels, int width, int height) {
    if (!ValidSize(width, height) || width > 0xFFFF || height > 0xFFFF) return Fail(kImgBadArgument);
    if (!IsLockedRange(pixels, RgbBytes(width, height))) return Fail(kImgBadBuffer);
    const auto file = EncodeTga24(static_cast<const std::uint8_t*>(pixels), width, height);
    const std::error_code error = WriteFileReplacing(PathFromUtf8(path), file);
    if (!error) return 1;
    return Fail(error == std::errc::no_space_on_device || error == std::errc::file_too_large ||
                        error == std::errc::io_error
                    ? kImgFileWrite
                    : kImgFileCreate);
}

int ImgDLLDrawRGBCrop(HDC dc, const void* pixels, int width, int height, int destX, int destY, int srcX, int srcY,
                      int cropWidth, int cropHeight, int flags) {
    if (dc == nullptr || flags != 0 || !ValidSize(width, height) || !ValidSize(cropWidth, cropHeight))
        return Fail(kImgBadArgument);
    if (!IsLockedRange(pixels, RgbBytes(width, height))) return Fail(kImgBadBuffer);
    if (srcX < 0 || srcY < 0 || cropWidth > width - srcX || cropHeight > height - srcY) return Fail(kImgOutOfBounds);
    Blit(*dc, static_cast<const std::uint8_t*>(pixels), width, destX, destY, srcX, srcY, cropWidth, cropHeight);
    return 1;
}

int ImgDLLDrawRGB2(HDC dc, const void* pixels, int width, int height, int x, int y, int destWidth, int destHeight) {
    if (destWidth != width || destHeight != height) return Fail(kImgBadArgument);  // never scaled
    return ImgDLLDrawRGBCrop(dc, pixels, width, height, x, y, 0, 0, width, height, 0);
}

HGLOBAL ImgDLLDCToRGB(HDC dc, int x, int y, int width, int height) {
    if (dc == nullptr || !ValidSize(width, height)) return Fail(kImgBadArgument);
    const DrawingSurface& surface = dc->Surface();
    if (x < 0 || y < 0 || width > surface.Width() - x || height > surface.Height() - y) return Fail(kImgOutOfBounds);
    const HGLOBAL block = GlobalAlloc(RgbBytes(width, height));
    if (block == 0) return Fail(kImgOutOfMemory);
    auto* out = static_cast<std::uint8_t*>(GlobalLock(block));
    for (int row = 0; row < height; ++row)
        std::memcpy(out + RgbBytes(width, row),
                    surface.Pixels() + RgbBytes(surface.Width(), y + row) + static_cast<std::size_t>(x) * 3,
                    RgbBytes(width, 1));
    GlobalUnlock(block);
    return block;
}

int ImgDLLHorizontalFlipRGB(void* pixels, int width, int height) {
    if (!ValidSize(width, height)) return Fail(kImgBadArgument);
    if (!IsLockedRange(pixels, RgbBytes(width, height))) return Fail(kImgBadBuffer);
    for (int y = 0; y < height; ++y) FlipRow(static_cast<std::uint8_t*>(pixels) + RgbBytes(width, y), width);
    return 1;
}

int ImgDLLQuickRotateRGB(void* pixels, int width, int height, int code) {
    if (!ValidSize(width, height)) return Fail(kImgBadArgument);
    if (code < 0 || code > 2) return Fail(kImgBadRotation);
    if (width != height) return Fail(kImgNotSquare);
    if (!IsLockedRange(pixels, RgbBytes(width, height))) return Fail(kImgBadBuffer);
    auto* bytes = static_cast<std::uint8_t*>(pixels);
    if (code == 1) {  // a half turn is the pixel order reversed
        for (std::size_t first = 0, last = RgbBytes(width, height) - 3; first < last; first += 3, last -= 3)
            std::swap_ranges(bytes + first, bytes + first + 3, bytes + last);
        return 1;
    }
    RotateQuarter(bytes, width, code == 0);
    return 1;
}

}  // namespace zenivor
