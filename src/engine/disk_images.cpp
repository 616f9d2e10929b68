#include "engine/disk_images.h"

#include <dirent.h>

#include <algorithm>

#include "core/file_util.h"
#include "core/names.h"
#include "engine/folder_listing.h"

namespace quorvane {

namespace {

// What a system folder holds that a disk pass looks at, sorted: its
// non-hidden folders, and plain files named like a disk image. A folder of
// thousands of archives is read without a stat per archive.
struct FolderParts {
    std::vector<std::string> folders;
    std::vector<std::string> images;
};

FolderParts listFolderParts(const std::string& folder) {
    FolderParts parts;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return parts;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name(e->d_name);
        if (name[0] == '.') continue;
        const bool known = e->d_type != DT_UNKNOWN && e->d_type != DT_LNK;
        if (looksLikeChd(name) && (known ? e->d_type == DT_REG : isRegularFile(joinPath(folder, name))))
            parts.images.push_back(name);
        else if (known ? e->d_type == DT_DIR : isDirectory(joinPath(folder, name)))
            parts.folders.push_back(name);
    }
    ::closedir(dir);
    std::sort(parts.folders.begin(), parts.folders.end());
    std::sort(parts.images.begin(), parts.images.end());
    return parts;
}

void addImagesOf(const std::string& folder, const std::string& game, std::vector<DiskImage>& out) {
    for (const std::string& name : listPlainFiles(folder)) {
        if (looksLikeChd(name)) out.push_back(readDiskImage(joinPath(folder, name), game));
    }
}

}  // namespace

DiskImage readDiskImage(const std::string& path, std::string folder) {
    DiskImage image;
    image.folder = std::move(folder);
    image.fileName = baseName(path);
    image.path = path;
    image.check = readChdHeader(path, image.header);
    return image;
}

std::vector<DiskImage> listDiskImages(const std::string& systemFolder) {
    std::vector<DiskImage> images;
    const FolderParts parts = listFolderParts(systemFolder);
    for (const std::string& name : parts.images) images.push_back(readDiskImage(joinPath(systemFolder, name), {}));
    for (const std::string& game : parts.folders) addImagesOf(joinPath(systemFolder, game), game, images);
    return images;
}

std::vector<RomMatch> findDisk(const RomLookup& lookup, const ChdHeader& header) {
    std::vector<RomMatch> found;
    if (header.sha1.empty()) return found;
    lookup.find(found, {}, "-", {}, header.sha1);
    // A ROM listed by its SHA-1 alone shares the key; its SHA-1 is of a
    // file's bytes, which a header's never is.
    std::erase_if(found, [](const RomMatch& r) { return !isDiskRow(r.name, "-"); });
    return found;
}

bool isDiskInPlace(const RomMatch& match, const std::string& system, const DiskImage& image) {
    return match.system == system && image.folder == match.game && image.fileName == match.name;
}

MatchClass classifyDisk(const RomMatch& match, const std::string& system, const DiskImage& image, PendingRule rule) {
    const bool pending = isPending(match, rule);
    if (match.system != system) return pending ? MatchClass::ForeignMissing : MatchClass::ForeignFound;
    if (isDiskInPlace(match, system, image)) return MatchClass::InPlace;
    return pending ? MatchClass::MisplacedMissing : MatchClass::MisplacedFound;
}

bool holdsDisk(const std::string& path, const ChdHeader& header) {
    ChdHeader there;
    return !header.sha1.empty() && readChdHeader(path, there).ok() && there.sha1 == header.sha1;
}

std::string diskPathIn(const std::string& systemFolder, const RomMatch& match) {
    return joinPath(joinPath(systemFolder, match.game), match.name);
}

bool diskNamesAreSafe(const RomMatch& match, std::string& refusal) {
    if (!isSafeGameName(match.game)) refusal = unsafeNameMessage("Game", match.game);
    else if (!isSafeFileName(match.name)) refusal = unsafeNameMessage("Disk", match.name);
    else return true;
    return false;
}

}  // namespace quorvane
