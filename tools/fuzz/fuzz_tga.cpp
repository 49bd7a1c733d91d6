// libFuzzer target: the TGA reader on arbitrary bytes, as the library reads a file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/Tga.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    zenivor::TgaHeader header;
    if (zenivor::ParseTgaHeader(bytes, header) != zenivor::kImgOk) return 0;
    // As the library does: nothing is allocated for data the file cannot hold.
    if (zenivor::CheckTgaFileSize(bytes, header) != zenivor::kImgOk) return 0;
    std::vector<std::uint8_t> out(header.PixelCount() * 3);
    zenivor::DecodeTga(bytes, header, out.data());
    return 0;
}
