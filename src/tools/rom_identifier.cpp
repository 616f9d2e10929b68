#include "tools/rom_identifier.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "archive/chd_header.h"
#include "archive/content_digests.h"
#include "archive/packed_archive.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "catalogue/catalogue.h"
#include "core/file_util.h"
#include "engine/disk_images.h"
#include "engine/file_collection_ops.h"
#include "engine/identification.h"

namespace quorvane {

std::string unreadableArchiveText(const std::string& path, ZipStatus listStatus) {
    // Why the file itself cannot be opened says more than "not a zip".
    std::string reason;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) reason = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) reason = std::strerror(EISDIR);
    else reason = zipStatusText(listStatus);
    return "Cannot read " + path + ": " + reason;
}

std::string unreadableEntryText(const std::string& path, const std::string& entryName) {
    return "Cannot read " + entryName + " in " + path + ": " + zipStatusText(ZipStatus::BadZipFile);
}

namespace {

void reportUnreadable(const std::string& text, JobHost* host, JobReport* report) {
    if (host) {
        host->addMessage(text);
        host->countFailedStep();
    }
    if (report) report->unreadable.push_back(text);
}

// Fills `container.files` with the archive's entries (and their digests
// when asked for); false, reported, when the archive cannot be read.
bool listEntries(ContainerFiles& container, bool digests, JobHost* host, JobReport* report) {
    const std::string& path = container.path;
    if (packedFormatOf(baseName(path)) != PackedFormat::None) {
        // Listing a packed archive reads all of it, digests included.
        const ZipStatus status = loadCollection(container, {.test = true, .useMD5 = digests, .useSHA1 = digests});
        if (status != ZipStatus::Ok) reportUnreadable(unreadableArchiveText(path, status), host, report);
        return status == ZipStatus::Ok;
    }
    const ZipListing info(path);
    // A file that cannot be opened, or is no zip, lists with a non-zero
    // status; an empty archive lists with 0.
    if (info.listStatus() != ZipStatus::Ok) {
        reportUnreadable(unreadableArchiveText(path, info.listStatus()), host, report);
        return false;
    }
    for (const ZipEntry& entry : info.entries()) {
        File file(entry.name);
        file.crc = entry.crc;
        file.size = entry.size;
        if (digests && !ContentDigests(path, entry.name).digestEntry(file.md5, file.sha1, true, true)) {
            reportUnreadable(unreadableEntryText(path, entry.name), host, report);
            continue;
        }
        container.files.push_back(std::move(file));
    }
    return true;
}

// A CHD is known by the SHA-1 in its header: the rest is never read.
void identifyDisk(const std::string& path, const RomLookup& lookup, std::vector<RomMatch>& hits, JobHost* host,
                  JobReport* report) {
    const DiskImage image = readDiskImage(path);
    if (!image.check.ok()) {
        reportUnreadable("Cannot read " + path + ": " + image.check.reason, host, report);
        return;
    }
    std::vector<RomMatch> found = findDisk(lookup, image.header);
    if (report) {
        if (found.empty()) report->unmatched.push_back({path, image.fileName});
        else ++report->entriesMatched;
    }
    for (RomMatch& hit : found) {
        hit.foundIn.archivePath = path;
        hits.push_back(std::move(hit));
    }
}

}  // namespace

std::vector<RomMatch> identifyArchives(Catalogue& db, const std::vector<std::string>& paths, bool useMD5,
                                         bool useSHA1, JobHost* host, JobReport* report) {
    std::vector<RomMatch> hits;
    const bool digests = useMD5 || useSHA1;
    const RomLookup lookup = catalogueLookup(db);
    for (size_t i = 0; i < paths.size(); ++i) {
        if (host) {
            if (host->cancelRequested()) break;
            host->updateProgress(paths[i], static_cast<int>(i));
        }
        if (looksLikeChd(paths[i])) {
            identifyDisk(paths[i], lookup, hits, host, report);
            continue;
        }
        ContainerFiles container(paths[i]);
        if (!listEntries(container, digests, host, report)) continue;
        for (File& file : container.files) {
            std::vector<RomMatch> found = identifyFile(container, file, lookup);
            if (report) {
                if (found.empty()) report->unmatched.push_back({paths[i], file.name});
                else ++report->entriesMatched;
            }
            for (RomMatch& hit : found) {
                hit.foundIn.archivePath = paths[i];
                hits.push_back(std::move(hit));
            }
        }
    }
    return hits;
}

}  // namespace quorvane
