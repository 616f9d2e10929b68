// Loading a FileCollection from disk and moving its files about: the content
// files of one archive, or one loose file.
//
// How to use:
//   FileCollection c(folder + "/" + name);
//   int status = loadCollection(c, {.test = true, .useMD5 = s.useMD5, .useSHA1 = s.useSHA1});
//   copyToArchive(c, i, folder + "/" + game + ".zip", romName);
//   moveToFolder(c, i, backupFolder);
//
// A user's data is never removed before a complete copy of it exists where
// it is going: an entry moved out of an archive is extracted, synced and in
// the target folder before the archive is rewritten without it. Extracted
// copies pass through a private folder named with kTempPrefix, so they can
// never collide with a user's file of the same name.
#pragma once

#include <string>
#include <vector>

#include "core/records.h"

namespace quorvane {

struct LoadOptions {
    bool test = true;  // read every archive entry in full and check it
    bool useMD5 = false;
    bool useSHA1 = false;
};

// Status of a loose file whose length cannot be read.
inline constexpr int kLooseFileUnreadable = -200;

// Whether `path` is loaded as an archive: decided by its file name alone,
// never by the folders above it.
bool isArchiveName(const std::string& path);

// Fills `collection.files`. 0 on success (the archive test's end-of-list
// status counts as success); an archive that fails the test returns the
// test's status and loads nothing; kLooseFileUnreadable for a loose file
// that cannot be opened. Loose files are named by their bare file name.
int loadCollection(FileCollection& collection, const LoadOptions& options);

// Moves file `index` into `folder` under its bare name, or a free variant
// ("name (1)") when that is taken. 0, or the failing status; on failure the
// file is still where it was. `movedTo` receives the new path.
int moveToFolder(const FileCollection& collection, size_t index, const std::string& folder,
                 std::string* movedTo = nullptr);

// Adds a copy of file `index` to the archive `archivePath` as `entryName`
// (compressed anew; an entry of that name is replaced). The archive is
// created when no file of that name exists. With `keepReplacedIn`, an entry
// of that name with other content is first moved into that folder, so a
// replacement never costs a user's data. 0, or the failing status.
int copyToArchive(const FileCollection& collection, size_t index, const std::string& archivePath,
                  const std::string& entryName, const std::string& keepReplacedIn = {});

// Looks for what a killed run left in `folder` (names starting with
// kTempPrefix). A leftover archive that is complete and whose original name
// is free again is renamed back to that name; everything else is kept as it
// is, never deleted. Returns one warning line per leftover, to be posted.
std::vector<std::string> recoverLeftovers(const std::string& folder);

}  // namespace quorvane
