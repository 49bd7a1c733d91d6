#include <unistd.h>

#include <exception>
#include <iostream>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"
#include "conversion/DataFiles.h"
#include "util/ProgramFolder.h"

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // A conversion allocates and frees a dozen images of the same size: kept by malloc rather
    // than handed back to the system, each reuses pages already mapped instead of faulting in
    // fresh zeroed ones.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);
        const std::filesystem::path data = zenivor::DataFolder(zenivor::ProgramFolder(argv[0]));
        const zenivor::ConverterSetup setup{.programFolder = data,
                                            .terminal = isatty(2) == 1,
                                            .groundTemplate = zenivor::GroundTemplate(data),
                                            .endingSignals = true};
        return zenivor::RunConvertCommand(arguments, setup, std::cout, std::cerr);
    } catch (const std::exception& error) {
        // Only running out of memory is expected to get here.
        std::cerr << "zenivor-convert: " << error.what() << '\n';
        return zenivor::kExitFailed;
    }
}
