// Writes synthetic DAT files of a chosen size for the import benchmarks, in
// the shape of an arcade set (parents, clones sharing some of their parent's
// ROMs, sets on a BIOS). Both syntaxes describe the same sets and ROMs.
// Output is deterministic.
#pragma once

#include <cstddef>
#include <string>

namespace quorvane::bench {

struct DatShape {
    size_t games = 40000;
    size_t roms = 300000;
    // Every n-th game is a clone of the game before it.
    size_t cloneEvery = 3;
};

// Each returns the number of ROM entries written; 0 when the file cannot be written.
size_t writeParenthesisedDat(const std::string& path, const DatShape& shape);
size_t writeXmlDat(const std::string& path, const DatShape& shape);

}  // namespace quorvane::bench
