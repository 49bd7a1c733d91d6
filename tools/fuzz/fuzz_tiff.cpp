// libFuzzer target: the TIFF decoder (libtiff) on arbitrary bytes, read in place as the program reads a file,
// through to the 8-bit image.

#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/ImageFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zenivor::MemorySource source(std::span<const std::uint8_t>(data, size));
    (void)zenivor::TiffDecoder().Read(source, {});
    return 0;
}
