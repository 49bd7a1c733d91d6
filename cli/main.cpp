#include <iostream>
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"
#include "util/ProgramFolder.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return zenivor::RunConvertCommand(arguments, {zenivor::ProgramFolder(argv[0])}, std::cout, std::cerr);
}
