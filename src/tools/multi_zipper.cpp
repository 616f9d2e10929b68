#include "tools/multi_zipper.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "archive/unzip_util.h"
#include "archive/zip_status.h"
#include "archive/zip_util.h"
#include "core/file_util.h"

namespace quorvane {

namespace {

namespace fs = std::filesystem;

bool contains(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

// Walks `folder` recursively; `wanted` decides per file name.
void walk(const std::string& folder, ZipWorkList& list, bool (*wanted)(const std::string& name)) {
    std::vector<std::string> files, folders;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;  // hidden, and our own temporary files
        std::error_code typeError;
        // Folder links are not followed, so a link loop cannot recurse forever.
        if (it->is_directory(typeError) && !it->is_symlink(typeError))
            folders.push_back(name);
        else if (it->is_regular_file(typeError))
            files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    const std::string base = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    for (const std::string& name : files)
        if (wanted(name)) list.add(base + name);
    for (const std::string& name : folders) walk(base + name, list, wanted);
}

bool wantedForZip(const std::string& name) {
    return !contains(name, ".zip") && !contains(name, ".rar") && !contains(name, ".txt");
}

bool wantedForUnzip(const std::string& name) { return contains(name, ".zip"); }

}  // namespace

void addFolderToZip(const std::string& folder, ZipWorkList& list) { walk(folder, list, wantedForZip); }
void addFolderToUnzip(const std::string& folder, ZipWorkList& list) { walk(folder, list, wantedForUnzip); }

std::string targetArchiveName(const std::string& path) {
    // Only the file name is looked at: a dot in a folder name (roms.d/ab)
    // must not turn the target into an archive in the parent folder.
    const size_t nameStart = path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
    const size_t from = std::max(nameStart, path.size() >= 5 ? path.size() - 5 : 0);
    const size_t dot = path.find('.', from);
    if (dot == std::string::npos) return path + ".zip";
    return path.substr(0, dot + 1) + "zip";
}

int zipOrUnzip(const std::string& path) {
    if (!contains(path, ".zip")) {
        if (!isRegularFile(path)) return kZipSourceMissing;
        ZipUtil zip(targetArchiveName(path));
        if (const int status = zip.open(); status != 0) return status;
        const int added = zip.addFile(path, entryFileName(path));
        const int closed = zip.close();
        return added != 0 ? added : closed;
    }
    UnZipUtil unzip(path);
    if (const int status = unzip.open(); status != 0) return status;
    const std::string folder = dirName(path);
    const int status = unzip.extractAll(folder.empty() ? "." : folder);
    unzip.close();
    return status;
}

ozippatore::ozippatore(ZipWorkList& list, Listener listener) : list_(list), listener_(std::move(listener)) {
    thread_ = std::thread([this] { run(); });
}

void ozippatore::wait() {
    if (thread_.joinable()) thread_.join();
}

void ozippatore::run() {
    if (listener_.startEnabled) listener_.startEnabled(false);
    while (const auto line = list_.first()) {
        const int status = zipOrUnzip(line->path);
        if (listener_.processed) listener_.processed(line->path, status);
        list_.removeFirst(line->id);
    }
    if (listener_.startEnabled) listener_.startEnabled(true);
}

}  // namespace quorvane
