// make_dat FILE [GAMES ROMS]: writes a synthetic DAT, in XML when FILE ends
// in ".xml", else parenthesised.
#include <cstdio>
#include <cstdlib>
#include <string>

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
    const std::string path = argv[1];
    const bool xml = path.size() >= 4 && path.compare(path.size() - 4, 4, ".xml") == 0;
    const size_t written =
        xml ? quorvane::bench::writeXmlDat(path, shape) : quorvane::bench::writeParenthesisedDat(path, shape);
    if (written == 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu games, %zu ROMs\n", shape.games, written);
    return 0;
}
