// The CHD disk images of a system folder, and which catalogue disks they are.
//
// A game's disk lives at "<system folder>/<game>/<disk>.chd" (in merged mode
// a clone's disk is in its parent's folder: the place says which). A CHD is
// known by the SHA-1 its header carries, so only the header is ever read: the
// images are gigabytes.
#pragma once

#include <string>
#include <vector>

#include "archive/chd_header.h"
#include "core/records.h"
#include "engine/identification.h"

namespace quorvane {

struct DiskImage {
    std::string folder;    // the game folder it is in; empty: directly in the system folder
    std::string fileName;  // "<disk>.chd"
    std::string path;
    ChdHeaderResult check;
    ChdHeader header;  // when check.ok()

    // "game/disk.chd", or "disk.chd" in the system folder: how messages name it.
    std::string displayName() const { return folder.empty() ? fileName : folder + "/" + fileName; }
};

// Files that look like CHDs directly in `systemFolder` and in its immediate
// sub-folders (hidden ones left out), sorted by folder then name, each with
// its header read.
std::vector<DiskImage> listDiskImages(const std::string& systemFolder);

// One file's header, read now.
DiskImage readDiskImage(const std::string& path, std::string folder = {});

// The places of the catalogue's disks whose SHA-1 is the image's (none for
// an image without one).
std::vector<RomMatch> findDisk(const RomLookup& lookup, const ChdHeader& header);

// Whether `image` sits where `match` (a place in `system`) wants it.
bool isDiskInPlace(const RomMatch& match, const std::string& system, const DiskImage& image);

// Where `match` stands for `image` found in `system`'s folder, as
// classifyMatch says for an archive's file.
MatchClass classifyDisk(const RomMatch& match, const std::string& system, const DiskImage& image,
                        PendingRule rule = PendingRule::OnlyMissing);

// Whether the file at `path` is a CHD with the SHA-1 of `header`.
bool holdsDisk(const std::string& path, const ChdHeader& header);

// "<system folder>/<game>/<disk>.chd" for a place.
std::string diskPathIn(const std::string& systemFolder, const RomMatch& match);

// Whether a place's game and disk names can each be one file name.
bool diskNamesAreSafe(const RomMatch& match, std::string& refusal);

}  // namespace quorvane
