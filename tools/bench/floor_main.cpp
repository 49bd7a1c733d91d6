// zenivor-floor STRIP OUTPUT-FOLDER: the floor's work once, as a command to time against
// zenivor-convert.
#include <cstdio>

#include "tools/bench/Floor.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zenivor-floor STRIP OUTPUT-FOLDER\n");
        return 2;
    }
    std::filesystem::create_directories(argv[2]);
    return zenivor::bench::RunFloor(argv[1], argv[2]) ? 0 : 1;
}
