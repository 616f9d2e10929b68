#include "import/dat_sources.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "archive/zip_listing.h"
#include "core/file_util.h"
#include "core/text.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

bool startsAsZip(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char magic[4] = {};
    const bool read = std::fread(magic, 1, sizeof magic, f) == sizeof magic;
    std::fclose(f);
    // A local file header, or the end record of an empty archive.
    return read && magic[0] == 'P' && magic[1] == 'K' &&
           ((magic[2] == 3 && magic[3] == 4) || (magic[2] == 5 && magic[3] == 6));
}

void addZipEntries(const std::string& zip, std::vector<DatSource>& out) {
    const ZipListing listing(zip);
    if (listing.listStatus() != ZipStatus::Ok) {
        out.push_back(
            {.path = zip,
             .problem = zip + " is a damaged zip (" + zipStatusText(listing.listStatus()) + "); nothing imported."});
        return;
    }
    std::vector<std::string> names;
    for (const ZipEntry& e : listing.entries())
        if (hasDatExtension(e.name)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    if (names.empty()) {
        out.push_back({.path = zip, .problem = zip + " holds no DAT file (*.dat, *.xml); nothing imported."});
        return;
    }
    for (std::string& name : names)
        out.push_back({.path = joinPath(zip, name), .archive = zip, .entry = std::move(name)});
}

void addFile(const std::string& path, std::vector<DatSource>& out) {
    if (isRegularFile(path) && startsAsZip(path)) addZipEntries(path, out);
    else out.push_back({.path = path});
}

void addFolder(const std::string& folder, std::vector<DatSource>& out) {
    std::vector<std::string> files;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::string path = it->path().string();
        if (hasDatExtension(path) && isRegularFile(path)) files.push_back(path);
    }
    if (ec) {
        out.push_back(
            {.path = folder,
             .problem = "Cannot read the folder " + folder + " (" + ec.message() + "); nothing of it imported."});
        return;
    }
    if (files.empty()) {
        out.push_back({.path = folder, .problem = "No DAT file (*.dat, *.xml) in " + folder + "; nothing imported."});
        return;
    }
    std::sort(files.begin(), files.end());
    for (const std::string& path : files) addFile(path, out);
}

}  // namespace

bool hasDatExtension(const std::string& name) {
    if (name.size() < 4 || name.back() == '/') return false;
    const std::string tail = toLowerAscii(std::string_view(name).substr(name.size() - 4));
    return tail == ".dat" || tail == ".xml";
}

std::vector<DatSource> findDatSources(const std::vector<std::string>& named) {
    std::vector<DatSource> out;
    for (const std::string& path : named) {
        if (isDirectory(path)) addFolder(path, out);
        else addFile(path, out);
    }
    return out;
}

}  // namespace quorvane
