// zenivor-floor STRIP OUTPUT-FOLDER [--durable]: the floor's work once, as a command.
#include <cstdio>
#include <cstring>

#include "tools/bench/Floor.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "--durable") != 0)) {
        std::fprintf(stderr, "usage: zenivor-floor STRIP OUTPUT-FOLDER [--durable]\n");
        return 2;
    }
    std::filesystem::create_directories(argv[2]);
    return zenivor::bench::RunFloor(argv[1], argv[2], argc == 4) ? 0 : 1;
}
