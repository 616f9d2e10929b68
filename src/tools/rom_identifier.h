// The ROM identifier: what the entries of some zip archives are.
//
// How to use:
//   std::vector<RomMatch> hits = identifyArchives(db, paths, useMD5, useSHA1);
//   IdentifiedList list; list.append(hits);
//   jobs.startRebuild(host, settings, list.rebuildAllPaths());   // "Rebuild All"
// The front ends run identification as a job (CatalogueJobs::startIdentify)
// so the desktop window stays responsive while digests are computed.
//
// Every entry of every readable archive is looked up by CRC-32 and size, and
// by MD5 and SHA-1 (both computed when either setting is on). Each matching
// catalogue row is one hit, a copy of the row with `foundIn` set to the
// archive's path. Unmatched entries add nothing. An input that cannot be
// read (no such file, not a zip, a damaged directory, an entry whose data
// cannot be read for its digests) adds nothing either, but is reported:
// one message naming it and why, counted as a failed step.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/job_host.h"
#include "core/records.h"
#include "core/worker_job.h"

namespace quorvane {

class Catalogue;

inline constexpr const char* kIdentifyAction = "Identifying files...";

// Stops early (with what it found so far) when `host` has a cancel request.
// Each input that cannot be read is posted to `host` (a message and a failed
// step) and added to `unreadable`, when given.
std::vector<RomMatch> identifyArchives(Catalogue& db, const std::vector<std::string>& paths, bool useMD5,
                                         bool useSHA1, JobHost* host = nullptr,
                                         std::vector<std::string>* unreadable = nullptr);

// The message for an archive that cannot be listed (`listStatus` from
// ZipListing), and for an entry whose data cannot be read.
std::string unreadableArchiveText(const std::string& path, int listStatus);
std::string unreadableEntryText(const std::string& path, const std::string& entryName);

// The file name part of a hit's archive path, as the grid's first text column.
std::string identifiedFileName(const RomMatch& hit);

// The identifier's lines, in the order found; they accumulate until cleared.
class IdentifiedList {
public:
    void append(const std::vector<RomMatch>& hits) { items_.insert(items_.end(), hits.begin(), hits.end()); }
    void clear() { items_.clear(); }
    bool empty() const { return items_.empty(); }
    const std::vector<RomMatch>& items() const { return items_; }

    // "Rebuild this" on grid row `row` (row 0 is the header): the archive of
    // that line unless its ROM is had already. Empty for the header or a row
    // past the end.
    std::vector<std::string> rebuildThisPaths(int row) const;
    // "Rebuild All": the archive of every line whose ROM is not had, once
    // per line, in line order.
    std::vector<std::string> rebuildAllPaths() const;

private:
    std::vector<RomMatch> items_;
};

// Identification as a job: progress per archive, `done` receives the hits on
// the job's thread when it ends.
class IdentifyJob final : public WorkerJob {
public:
    IdentifyJob(std::shared_ptr<Catalogue> db, JobHost& host, std::vector<std::string> paths, bool useMD5,
                bool useSHA1, std::function<void(std::vector<RomMatch>)> done);
    bool prepare() override;
    JobResult execute() override;

private:
    std::shared_ptr<Catalogue> db_;
    JobHost& host_;
    std::vector<std::string> paths_;
    bool useMD5_, useSHA1_;
    std::function<void(std::vector<RomMatch>)> done_;
};

}  // namespace quorvane
