// Changing the form a set is stored in. Sets found as 7z or RAR are never
// edited: a fix that must change one first writes it anew as a zip and keeps
// the old archive, whole, in the backup folder; the zip is then edited as any
// other. When a job is done with a set it gives it the output form the
// system's settings ask for.
//
// How to use:
//   std::string zip, keptAs;
//   if (convertToZip(packedPath, BackupTree(runFolder, systemFolder), &displaced, zip, keptAs) == ZipStatus::Ok) ...;
//   applyOutputForm(zip, settings.outputFor(system));
#pragma once

#include <string>

#include "archive/zip_status.h"
#include "core/settings.h"
#include "engine/backup_tree.h"
#include "engine/file_collection_ops.h"

namespace quorvane {

// The 7z or RAR set of `game` in `folder` when the game has no zip set
// there: the one to convert before a copy into the game's set. Empty when
// there is none.
std::string packedSetToConvert(const std::string& folder, const std::string& game);

// Writes the entries of the packed archive `packedPath` into the zip beside
// it named after its stem (entries are added as copyToArchive adds them, so
// an existing zip of that name keeps everything: replaced entries go to
// their places in `backup`), then moves the packed archive whole to its
// place in `backup`.
// An entry whose name cannot name a zip entry (see isSafeEntryName) is kept
// only in the moved archive. Ok with `zipPath` and `keptAs` set; on failure
// the packed archive is where it was (a zip made so far holds only copies).
ZipStatus convertToZip(const std::string& packedPath, const BackupTree& backup,
                       DisplacedEntries* displaced, std::string& zipPath, std::string& keptAs);

// The form's name in messages: "zip", "TorrentZip", "7z".
const char* outputFormName(ArchiveOutput output);

// Gives the zip set at `zipPath` the form `output` asks for: a zip stays as
// it is; TorrentZip rewrites it in place unless it is valid already; 7z
// writes the set as its stem + ".7z" and then removes the zip. `finalPath`
// receives where the set is now. Ok, or the failing status; on failure the
// zip is as it was.
ZipStatus applyOutputForm(const std::string& zipPath, ArchiveOutput output, std::string* finalPath = nullptr);

}  // namespace quorvane
