// make_dat FILE [GAMES ROMS]: writes a synthetic parenthesised DAT.
#include <cstdio>
#include <cstdlib>

#include "generators/dat_generator.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: make_dat FILE [GAMES ROMS]\n");
        return 2;
    }
    quorvane::bench::DatShape shape;
    if (argc == 4) {
        shape.games = std::strtoull(argv[2], nullptr, 10);
        shape.roms = std::strtoull(argv[3], nullptr, 10);
    }
    const size_t written = quorvane::bench::writeParenthesisedDat(argv[1], shape);
    if (written == 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu games, %zu ROMs\n", shape.games, written);
    return 0;
}
