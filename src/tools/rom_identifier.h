// The ROM identifier: what the entries of some zip archives are, and which
// disks some CHD images are (by the SHA-1 in their headers).
//
// How to use:
//   std::vector<RomMatch> hits = identifyArchives(db, paths, useMD5, useSHA1);
// The front ends run it as IdentifyJob (identify_job.h) and keep the hits in
// an IdentifiedList (identified_list.h).
//
// Every entry of every readable archive is looked up as the jobs look up a
// file (identifyFile: CRC-32 and size, without a copier header, by the digest
// of CRC-less ROMs), with MD5 and SHA-1 computed when either setting is on. Each matching
// catalogue row is one hit, a copy of the row with `foundIn` set to the
// archive's path. Unmatched entries add no hit; the report names them. An input that cannot be
// read (no such file, not a zip, a damaged directory, an entry whose data
// cannot be read for its digests) adds nothing either, but is reported:
// one message naming it and why, counted as a failed step.
#pragma once

#include <string>
#include <vector>

#include "archive/zip_status.h"
#include "core/job_host.h"
#include "core/job_report.h"
#include "core/records.h"

namespace quorvane {

class Catalogue;

inline constexpr const char* kIdentifyAction = "Identifying files...";

// Stops early (with what it found so far) when `host` has a cancel request.
// Each input that cannot be read is posted to `host` (a message and a failed
// step). `report`, when given, counts the entries that matched, and lists
// those that did not and the inputs that could not be read.
std::vector<RomMatch> identifyArchives(Catalogue& db, const std::vector<std::string>& paths, bool useMD5,
                                         bool useSHA1, JobHost* host = nullptr, JobReport* report = nullptr);

// The message for an archive that cannot be listed (`listStatus` from
// ZipListing), and for an entry whose data cannot be read.
std::string unreadableArchiveText(const std::string& path, ZipStatus listStatus);
std::string unreadableEntryText(const std::string& path, const std::string& entryName);

}  // namespace quorvane
