#include "tools/rom_identifier.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "archive/content_digests.h"
#include "archive/zip_listing.h"
#include "archive/zip_status.h"
#include "catalogue/catalogue.h"

namespace quorvane {

std::string unreadableArchiveText(const std::string& path, int listStatus) {
    // Why the file itself cannot be opened says more than "not a zip".
    std::string reason;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) reason = std::strerror(errno);
    else if (S_ISDIR(st.st_mode)) reason = std::strerror(EISDIR);
    else reason = zipStatusText(listStatus);
    return "Cannot read " + path + ": " + reason;
}

std::string unreadableEntryText(const std::string& path, const std::string& entryName) {
    return "Cannot read " + entryName + " in " + path + ": " + zipStatusText(kZipBadZipFile);
}

namespace {

void reportUnreadable(const std::string& text, JobHost* host, std::vector<std::string>* unreadable) {
    if (host) {
        host->addMessage(text);
        host->countFailedStep();
    }
    if (unreadable) unreadable->push_back(text);
}

}  // namespace

std::vector<RomMatch> identifyArchives(Catalogue& db, const std::vector<std::string>& paths, bool useMD5,
                                         bool useSHA1, JobHost* host, std::vector<std::string>* unreadable) {
    std::vector<RomMatch> hits;
    const bool digests = useMD5 || useSHA1;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (host) {
            if (host->cancelRequested()) break;
            host->updateProgress(paths[i], static_cast<int>(i));
        }
        const ZipListing info(paths[i]);
        // A file that cannot be opened, or is no zip, lists with a non-zero
        // status; an empty archive lists with 0.
        if (info.listStatus() != kZipOk) {
            reportUnreadable(unreadableArchiveText(paths[i], info.listStatus()), host, unreadable);
            continue;
        }
        for (const ZipEntry& entry : info.entries()) {
            std::string md5, sha1;
            if (digests && !ContentDigests(paths[i], entry.name).digestEntry(md5, sha1, true, true)) {
                reportUnreadable(unreadableEntryText(paths[i], entry.name), host, unreadable);
                continue;
            }
            std::vector<RomMatch> found;
            db.findRom(found, entry.crc, entry.size, md5, sha1);
            for (RomMatch& hit : found) {
                hit.foundIn.archivePath = paths[i];
                hits.push_back(std::move(hit));
            }
        }
    }
    return hits;
}

std::string identifiedFileName(const RomMatch& hit) {
    const size_t cut = hit.foundIn.archivePath.find_last_of("/\\:");
    return cut == std::string::npos ? hit.foundIn.archivePath : hit.foundIn.archivePath.substr(cut + 1);
}

std::vector<std::string> IdentifiedList::rebuildThisPaths(int row) const {
    if (row < 1 || static_cast<size_t>(row) > items_.size()) return {};
    const RomMatch& item = items_[static_cast<size_t>(row) - 1];
    if (item.status == "Y") return {};
    return {item.foundIn.archivePath};
}

std::vector<std::string> IdentifiedList::rebuildAllPaths() const {
    std::vector<std::string> paths;
    for (const RomMatch& item : items_)
        if (item.status != "Y") paths.push_back(item.foundIn.archivePath);
    return paths;
}

IdentifyJob::IdentifyJob(std::shared_ptr<Catalogue> db, JobHost& host, std::vector<std::string> paths,
                         bool useMD5, bool useSHA1, std::function<void(std::vector<RomMatch>)> done)
    : db_(std::move(db)), host_(host), paths_(std::move(paths)), useMD5_(useMD5), useSHA1_(useSHA1),
      done_(std::move(done)) {}

bool IdentifyJob::prepare() {
    host_.startProgress(kIdentifyAction, static_cast<int>(paths_.size()));
    return true;
}

JobResult IdentifyJob::execute() {
    // Without the catalogue nothing can be identified: that is a failure,
    // not a list of inputs that match nothing.
    std::vector<RomMatch> hits;
    if (db_->openDB() != StoreStatus::Ok) {
        host_.addMessage(db_->lastError());
        host_.countFailedStep();
    } else {
        hits = identifyArchives(*db_, paths_, useMD5_, useSHA1_, &host_);
    }
    db_->closeDB();
    host_.closeProgress();
    if (done_) done_(std::move(hits));
    return {};
}

}  // namespace quorvane
