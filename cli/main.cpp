#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"
#include "util/ProgramFolder.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const zenivor::ConverterSetup setup{.programFolder = zenivor::ProgramFolder(argv[0]), .terminal = isatty(2) == 1};
    return zenivor::RunConvertCommand(arguments, setup, std::cout, std::cerr);
}
