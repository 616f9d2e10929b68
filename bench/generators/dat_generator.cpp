#include "generators/dat_generator.h"

#include <cinttypes>
#include <cstdint>
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

struct GenRom {
    size_t index;
    bool clone;   // of a clone set
    bool shared;  // the same ROM as the parent's (same name, CRC, size)
    unsigned size;
    unsigned crc;
    std::uint64_t seed;
};

// What each syntax writes; the generator decides the sets and ROMs once.
class DatWriter {
public:
    explicit DatWriter(FILE* f) : f_(f) {}
    virtual ~DatWriter() = default;
    virtual void header() = 0;
    virtual void startSet(size_t g, bool clone) = 0;
    virtual void rom(const GenRom& r) = 0;
    virtual void endSet() = 0;
    virtual void footer() {}

protected:
    FILE* f_;
};

size_t generate(FILE* f, DatWriter& w, const DatShape& shape) {
    w.header();
    Random random{42};
    size_t written = 0;
    std::uint64_t parentSeed = 0;
    size_t parentRoms = 0;
    for (size_t g = 0; g < shape.games; ++g) {
        // Spread the ROMs evenly, the remainder over the first games.
        const size_t roms = shape.roms / shape.games + (g < shape.roms % shape.games ? 1 : 0);
        const bool clone = shape.cloneEvery && g % shape.cloneEvery == shape.cloneEvery - 1;
        w.startSet(g, clone);
        if (!clone) {
            parentSeed = random.next();
            parentRoms = roms;
        }
        for (size_t r = 0; r < roms; ++r) {
            // A clone shares its parent's first half of ROMs (same name, CRC, size).
            const bool shared = clone && r < parentRoms / 2;
            const std::uint64_t seed = !clone || shared ? parentSeed + r : random.next();
            w.rom({r, clone, shared, 1024u << (seed % 12), static_cast<unsigned>(seed * 2654435761u), seed});
            ++written;
        }
        w.endSet();
    }
    w.footer();
    return std::ferror(f) ? 0 : written;
}

class ParenthesisedWriter : public DatWriter {
public:
    using DatWriter::DatWriter;
    void header() override {
        std::fprintf(f_, "clrmamepro (\n\tname \"Bench Arcade\"\n\tdescription \"Synthetic\"\n\tversion 1\n"
                         "\tauthor Bench\n)\n\n");
        std::fprintf(f_, "resource (\n\tname benchbios\n\tdescription \"Bench BIOS\"\n"
                         "\trom ( name bios.bin size 131072 crc 0badc0de sha1 %040d )\n)\n\n", 7);
    }
    void startSet(size_t g, bool clone) override {
        std::fprintf(f_, "game (\n\tname set%06zu\n\tdescription \"Set %zu (rom ( in text ) cloneof no)\"\n"
                         "\tyear 1990\n\tmanufacturer \"Bench\"\n", g, g);
        if (clone) std::fprintf(f_, "\tcloneof set%06zu\n\tromof set%06zu\n", g - 1, g - 1);
        else std::fprintf(f_, "\tromof benchbios\n");
    }
    void rom(const GenRom& r) override {
        if (r.shared)
            std::fprintf(f_, "\trom ( name p%02zu.bin merge p%02zu.bin size %u crc %08x sha1 %016" PRIx64 "%024x )\n",
                         r.index, r.index, r.size, r.crc, r.seed, r.crc);
        else
            std::fprintf(f_, "\trom ( name %s%02zu.bin size %u crc %08x sha1 %016" PRIx64 "%024x )\n",
                         r.clone ? "c" : "p", r.index, r.size, r.crc, r.seed, r.crc);
    }
    void endSet() override { std::fprintf(f_, ")\n\n"); }
};

class XmlWriter : public DatWriter {
public:
    using DatWriter::DatWriter;
    void header() override {
        std::fprintf(f_, "<?xml version=\"1.0\"?>\n"
                         "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
                         "\"http://www.logiqx.com/Dats/datafile.dtd\">\n<datafile>\n\t<header>\n"
                         "\t\t<name>Bench Arcade</name>\n\t\t<description>Synthetic</description>\n"
                         "\t\t<version>1</version>\n\t\t<author>Bench</author>\n\t</header>\n");
        std::fprintf(f_, "\t<game isbios=\"yes\" name=\"benchbios\">\n\t\t<description>Bench BIOS</description>\n"
                         "\t\t<rom name=\"bios.bin\" size=\"131072\" crc=\"0badc0de\" sha1=\"%040d\"/>\n\t</game>\n", 7);
    }
    void startSet(size_t g, bool clone) override {
        if (clone)
            std::fprintf(f_, "\t<game name=\"set%06zu\" cloneof=\"set%06zu\" romof=\"set%06zu\">\n", g, g - 1, g - 1);
        else
            std::fprintf(f_, "\t<game name=\"set%06zu\" romof=\"benchbios\">\n", g);
        std::fprintf(f_, "\t\t<description>Set %zu (rom ( in text ) cloneof no)</description>\n"
                         "\t\t<year>1990</year>\n\t\t<manufacturer>Bench</manufacturer>\n", g);
    }
    void rom(const GenRom& r) override {
        if (r.shared)
            std::fprintf(f_, "\t\t<rom name=\"p%02zu.bin\" merge=\"p%02zu.bin\" size=\"%u\" crc=\"%08x\" sha1=\"%016" PRIx64
                             "%024x\"/>\n", r.index, r.index, r.size, r.crc, r.seed, r.crc);
        else
            std::fprintf(f_, "\t\t<rom name=\"%s%02zu.bin\" size=\"%u\" crc=\"%08x\" sha1=\"%016" PRIx64 "%024x\"/>\n",
                         r.clone ? "c" : "p", r.index, r.size, r.crc, r.seed, r.crc);
    }
    void endSet() override { std::fprintf(f_, "\t</game>\n"); }
    void footer() override { std::fprintf(f_, "</datafile>\n"); }
};

template <class Writer>
size_t write(const std::string& path, const DatShape& shape) {
    std::unique_ptr<FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out || shape.games == 0) return 0;
    Writer writer(out.get());
    return generate(out.get(), writer, shape);
}

}  // namespace

size_t writeParenthesisedDat(const std::string& path, const DatShape& shape) {
    return write<ParenthesisedWriter>(path, shape);
}

size_t writeXmlDat(const std::string& path, const DatShape& shape) { return write<XmlWriter>(path, shape); }

}  // namespace quorvane::bench
