#include "engine/backup_tree.h"

#include <utility>

#include "archive/file_ops.h"
#include "core/file_util.h"
#include "engine/safe_move.h"

namespace quorvane {

namespace {

// Stands in for a name none of whose steps can be used.
constexpr const char* kNamelessEntry = "unnamed entry";

// `name` as a folder in `parent`: itself, unless a file (not a folder) of
// that name is there; then the first variant that is a folder or free, so
// every entry of one archive still finds the same folder.
std::string folderNameIn(const std::string& parent, const std::string& name) {
    constexpr int kMaxNameVariants = 100000;
    std::string candidate = fitName(name);
    for (int i = 1; i < kMaxNameVariants; ++i) {
        const std::string path = joinPath(parent, candidate);
        if (!pathExists(path) || isDirectory(path)) return candidate;
        candidate = fitName(name, " (" + std::to_string(i) + ")");
    }
    return candidate;
}

std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

}  // namespace

// Through the run's file layer, which makes each of its folders once.
bool BackupPlace::make() const { return fileOps().makeFolderPath(folder) == 0; }

BackupTree::BackupTree(std::string runFolder, std::string_view sourceFolder)
    : runFolder_(std::move(runFolder)), sourceFolder_(withoutTrailingSlashes(sourceFolder)), top_(runFolder_) {
    // A source folder without a usable name ("/") puts its files directly in the run folder.
    for (const std::string& step : safeSteps(baseName(sourceFolder_))) top_ = joinPath(top_, fitName(step));
}

std::vector<std::string> BackupTree::safeSteps(std::string_view name) {
    std::vector<std::string> steps;
    for (size_t start = 0; start <= name.size();) {
        // "\" separates folders to the unpackers of some systems (see entryFileName).
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos) end = name.size();
        std::string step(name.substr(start, end - start));
        for (char& c : step)
            if (c == '\0') c = '_';
        if (!step.empty() && step != "." && step != "..") steps.push_back(std::move(step));
        start = end + 1;
    }
    return steps;
}

std::vector<std::string> BackupTree::stepsBelowSource(const std::string& path) const {
    const std::string prefix = sourceFolder_ + "/";
    if (!sourceFolder_.empty() && path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0)
        return safeSteps(std::string_view(path).substr(prefix.size()));
    return safeSteps(baseName(path));
}

BackupPlace BackupTree::placeOf(const std::vector<std::string>& steps) const {
    BackupPlace place{.folder = top_, .name = kNamelessEntry};
    for (size_t i = 0; i < steps.size(); ++i) {
        // The last step is the file's name, made free when moved (freeNameIn).
        if (i + 1 < steps.size()) place.folder = joinPath(place.folder, folderNameIn(place.folder, steps[i]));
        else place.name = steps[i];
    }
    return place;
}

BackupPlace BackupTree::forFile(const std::string& path) const { return placeOf(stepsBelowSource(path)); }

BackupPlace BackupTree::forEntry(const std::string& archivePath, std::string_view entryName) const {
    std::vector<std::string> steps = stepsBelowSource(archivePath);
    // The archive's own name is a folder; nothing can name the entry's file without the entry.
    if (steps.empty()) steps.push_back(kNamelessEntry);
    for (std::string& step : safeSteps(entryName)) steps.push_back(std::move(step));
    if (steps.size() == 1) steps.push_back(kNamelessEntry);
    return placeOf(steps);
}

int moveIntoBackup(const std::string& from, const BackupPlace& place, std::string* finalPath) {
    // A folder that cannot be made fails the move itself, with its reason in errno.
    place.make();
    return moveIntoFolder(from, place.folder, place.name, finalPath);
}

}  // namespace quorvane
