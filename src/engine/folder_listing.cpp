#include "engine/folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "core/file_util.h"

namespace quorvane {

namespace {

enum class EntryType { File, Folder, Unknown };

struct Name {
    std::string name;
    EntryType type;
};

// Sorts by name in byte order. A folder of thousands of archives is listed
// on every scan: each name's first 16 bytes are compared as two numbers, and
// only names alike that far as text.
void sortByName(std::vector<Name>& names) {
    struct Key {
        std::uint64_t high, low;
        std::uint32_t index;
    };
    auto bigEndian = [](std::string_view text, size_t from) {
        std::uint64_t value = 0;
        for (size_t i = from; i < from + 8; ++i)
            value = (value << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
        return value;
    };
    std::vector<Key> keys;
    keys.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        keys.push_back({bigEndian(names[i].name, 0), bigEndian(names[i].name, 8), static_cast<std::uint32_t>(i)});
    std::sort(keys.begin(), keys.end(), [&names](const Key& a, const Key& b) {
        if (a.high != b.high) return a.high < b.high;
        if (a.low != b.low) return a.low < b.low;
        return names[a.index].name < names[b.index].name;
    });
    std::vector<Name> sorted;
    sorted.reserve(names.size());
    for (const Key& key : keys) sorted.push_back(std::move(names[key.index]));
    names = std::move(sorted);
}

// The plain names, and when `leftovers` is given the program's temporary
// names into it, each with what the folder says it is (a link says nothing:
// it is looked at), sorted.
std::vector<Name> sortedNames(const std::string& folder, std::vector<Name>* leftovers = nullptr) {
    std::vector<Name> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        const bool temporary = name.substr(0, kTempPrefix.size()) == kTempPrefix;
        if (!temporary && name[0] == '.') continue;
        if (temporary && !leftovers) continue;
        const EntryType type = e->d_type == DT_REG ? EntryType::File
                               : e->d_type == DT_DIR ? EntryType::Folder
                                                     : EntryType::Unknown;
        (temporary ? *leftovers : names).push_back({std::string(name), type});
    }
    ::closedir(dir);
    sortByName(names);
    if (leftovers) sortByName(*leftovers);
    return names;
}

std::vector<std::string> plainFilesOf(const std::string& folder, std::vector<Name> names, bool* hasOthers = nullptr) {
    std::vector<std::string> files;
    files.reserve(names.size());
    for (Name& entry : names) {
        // The folder's own word saves a look at each of thousands of archives.
        if (entry.type == EntryType::File ||
            (entry.type == EntryType::Unknown && isRegularFile(joinPath(folder, entry.name))))
            files.push_back(std::move(entry.name));
        else if (hasOthers)
            *hasOthers = true;
    }
    return files;
}

}  // namespace

std::vector<std::string> listPlainFiles(const std::string& folder) { return plainFilesOf(folder, sortedNames(folder)); }

std::vector<std::string> listLeftovers(const std::string& folder) {
    std::vector<Name> leftovers;
    sortedNames(folder, &leftovers);
    std::vector<std::string> names;
    for (Name& entry : leftovers) names.push_back(std::move(entry.name));
    return names;
}

FolderNames listFolder(const std::string& folder) {
    std::vector<Name> leftovers;
    FolderNames out;
    out.files = plainFilesOf(folder, sortedNames(folder, &leftovers), &out.hasOthers);
    for (Name& entry : leftovers) out.leftovers.push_back(std::move(entry.name));
    return out;
}

void collectFilesRecursive(const std::string& folder, std::vector<std::string>& out) {
    for (const Name& entry : sortedNames(folder)) {
        const std::string path = joinPath(folder, entry.name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) collectFilesRecursive(path, out);
        else if (isRegularFile(path)) out.push_back(path);
    }
}

}  // namespace quorvane
