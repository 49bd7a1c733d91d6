// libFuzzer target: the PNG decoder on arbitrary bytes, read in place as the program reads a file.

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/ImageFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zenivor::MemorySource source(std::span<const std::uint8_t>(data, size));
    (void)zenivor::PngDecoder().Read(source, {});
    return 0;
}
