// libFuzzer target: the OpenEXR decoder (the OpenEXR core library) on arbitrary bytes, read in place as the program
// reads a file, through to the 8-bit image (and so the tone mapping of scene light).

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/ImageFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zenivor::MemorySource source(std::span<const std::uint8_t>(data, size));
    (void)zenivor::ExrDecoder().Read(source, {});
    return 0;
}
