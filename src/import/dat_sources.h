// The DAT files behind the paths a user names for import: a file stands for
// itself; a folder for every *.dat and *.xml below it, in name order; a zip
// (recognised by its signature, whatever its name) for each *.dat and *.xml
// entry inside it, read from a temporary copy.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct DatSource {
    std::string path;     // as messages name it: "pack.zip/inner.dat" for a zip entry
    std::string archive;  // the zip holding it, or empty
    std::string entry;    // its entry name in that zip
    std::string problem;  // why it cannot be imported (a message), or empty
};

std::vector<DatSource> findDatSources(const std::vector<std::string>& named);

// True when `name` ends in ".dat" or ".xml", in any letter case.
bool hasDatExtension(const std::string& name);

}  // namespace quorvane
