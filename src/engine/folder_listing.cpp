#include "engine/folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "core/file_util.h"

namespace quorvane {

namespace {

enum class EntryType { File, Folder, Unknown };

struct Name {
    std::string name;
    EntryType type;
    bool operator<(const Name& other) const { return name < other.name; }
};

// Plain names, or (with `leftovers`) only the program's temporary names,
// each with what the folder says it is (a link says nothing: it is looked at).
std::vector<Name> sortedNames(const std::string& folder, bool leftovers = false) {
    std::vector<Name> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        const bool temporary = name.substr(0, kTempPrefix.size()) == kTempPrefix;
        if (leftovers ? !temporary : name[0] == '.') continue;
        const EntryType type = e->d_type == DT_REG ? EntryType::File
                               : e->d_type == DT_DIR ? EntryType::Folder
                                                     : EntryType::Unknown;
        names.push_back({std::string(name), type});
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<std::string> listPlainFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (Name& entry : sortedNames(folder)) {
        // The folder's own word saves a look at each of thousands of archives.
        if (entry.type == EntryType::File ||
            (entry.type == EntryType::Unknown && isRegularFile(joinPath(folder, entry.name))))
            files.push_back(std::move(entry.name));
    }
    return files;
}

std::vector<std::string> listLeftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (Name& entry : sortedNames(folder, true)) names.push_back(std::move(entry.name));
    return names;
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
