// libpng reports errors by longjmp: the frame that calls setjmp holds no object with a destructor
// that the jump could skip, and libpng's state is freed on both ways out.
#include "formats/PngEncoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace zenivor::formats {
namespace {

struct Encoding {
    std::vector<std::uint8_t> bytes;
    std::vector<png_bytep> rows;
    char message[200] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* encoding = static_cast<Encoding*>(png_get_error_ptr(png));
    std::snprintf(encoding->message, sizeof encoding->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* encoding = static_cast<Encoding*>(png_get_io_ptr(png));
    encoding->bytes.insert(encoding->bytes.end(), data, data + length);
}

// False with libpng's words in the encoding when it fails.
bool Encode(png_structp png, png_infop info, Encoding& encoding, int width, int height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, &encoding, AppendBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, encoding.rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

}  // namespace

Result<std::vector<std::uint8_t>> EncodePngRgba(std::span<const std::uint8_t> rgba, int width, int height) {
    Encoding encoding;
    const auto rowBytes = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        encoding.rows.push_back(const_cast<png_bytep>(rgba.data() + static_cast<std::size_t>(y) * rowBytes));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &encoding, OnError, OnWarning);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return Error{errc::OutOfMemory};
    }
    const bool encoded = Encode(png, info, encoding, width, height);
    png_destroy_write_struct(&png, &info);
    if (!encoded) return Error{errc::FileWrite, 0, std::string("libpng: ") + encoding.message};
    return std::move(encoding.bytes);
}

}  // namespace zenivor::formats
