#include "generators/dat_generator.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

namespace quorvane::bench {

namespace {

struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return state >> 17;
    }
};

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

size_t writeParenthesisedDat(const std::string& path, const DatShape& shape) {
    std::unique_ptr<FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out || shape.games == 0) return 0;
    FILE* f = out.get();
    std::fprintf(f, "clrmamepro (\n\tname \"Bench Arcade\"\n\tdescription \"Synthetic\"\n\tversion 1\n"
                    "\tauthor Bench\n)\n\n");
    std::fprintf(f, "resource (\n\tname benchbios\n\tdescription \"Bench BIOS\"\n"
                    "\trom ( name bios.bin size 131072 crc 0badc0de sha1 %040d )\n)\n\n", 7);
    Random random{42};
    size_t written = 0;
    std::uint64_t parentSeed = 0;
    size_t parentRoms = 0;
    for (size_t g = 0; g < shape.games; ++g) {
        // Spread the ROMs evenly, the remainder over the first games.
        const size_t roms = shape.roms / shape.games + (g < shape.roms % shape.games ? 1 : 0);
        const bool clone = shape.cloneEvery && g % shape.cloneEvery == shape.cloneEvery - 1;
        std::fprintf(f, "game (\n\tname set%06zu\n\tdescription \"Set %zu (rom ( in text ) cloneof no)\"\n"
                        "\tyear 1990\n\tmanufacturer \"Bench\"\n", g, g);
        if (clone) std::fprintf(f, "\tcloneof set%06zu\n\tromof set%06zu\n", g - 1, g - 1);
        else std::fprintf(f, "\tromof benchbios\n");
        if (!clone) {
            parentSeed = random.next();
            parentRoms = roms;
        }
        for (size_t r = 0; r < roms; ++r) {
            // A clone shares its parent's first half of ROMs (same name, CRC, size).
            const bool shared = clone && r < parentRoms / 2;
            const std::uint64_t seed = !clone || shared ? parentSeed + r : random.next();
            const unsigned crc = static_cast<unsigned>(seed * 2654435761u);
            const unsigned size = 1024u << (seed % 12);
            if (shared)
                std::fprintf(f, "\trom ( name p%02zu.bin merge p%02zu.bin size %u crc %08x sha1 %016" PRIx64 "%024x )\n", r,
                             r, size, crc, seed, crc);
            else
                std::fprintf(f, "\trom ( name %s%02zu.bin size %u crc %08x sha1 %016" PRIx64 "%024x )\n",
                             clone ? "c" : "p", r, size, crc, seed, crc);
            ++written;
        }
        std::fprintf(f, ")\n\n");
    }
    return std::ferror(f) ? 0 : written;
}

}  // namespace quorvane::bench
