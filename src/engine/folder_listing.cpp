#include "engine/folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "core/file_util.h"

namespace quorvane {

namespace {

// Plain names, or (with `leftovers`) only the program's temporary names.
std::vector<std::string> sortedNames(const std::string& folder, bool leftovers = false) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        const bool temporary = name.substr(0, kTempPrefix.size()) == kTempPrefix;
        if (leftovers ? !temporary : name[0] == '.') continue;
        names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<std::string> listPlainFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (std::string& name : sortedNames(folder)) {
        if (isRegularFile(joinPath(folder, name))) files.push_back(std::move(name));
    }
    return files;
}

std::vector<std::string> listLeftovers(const std::string& folder) { return sortedNames(folder, true); }

void collectFilesRecursive(const std::string& folder, std::vector<std::string>& out) {
    for (const std::string& name : sortedNames(folder)) {
        const std::string path = joinPath(folder, name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) collectFilesRecursive(path, out);
        else if (isRegularFile(path)) out.push_back(path);
    }
}

}  // namespace quorvane
