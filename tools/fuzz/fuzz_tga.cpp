// libFuzzer target: the TGA reader on arbitrary bytes, through the very read path the program
// uses on files, both decode paths.

#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/Tga.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zenivor::MemorySource source(std::span<const std::uint8_t>(data, size));
    const auto fast = zenivor::ReadTga(source);
    const auto general = zenivor::ReadTga(source, {}, zenivor::TgaDecodePath::General);
    // The two paths must agree on every input, pixels and errors alike.
    if (static_cast<bool>(fast) != static_cast<bool>(general)) __builtin_trap();
    if (fast && !(*fast == *general)) __builtin_trap();
    return 0;
}
