// Loading a ContainerFiles from disk and moving its files about: the content
// files of one archive, or one loose file.
//
// How to use:
//   ContainerFiles c(folder + "/" + name);
//   ZipStatus status = loadCollection(c, {.test = true, .useMD5 = s.useMD5, .useSHA1 = s.useSHA1});
//   const File listed = c.files[i];           // before identification
//   copyToArchive(c, listed, folder + "/" + game + ".zip", romName);
//   moveToBackup(c, listed, BackupTree(runFolder, systemFolder));
//
// A user's data is never removed before a complete copy of it exists where
// it is going: an entry moved out of an archive is extracted, synced and in
// the target folder before the archive is rewritten without it. Copies
// extracted on their way into another archive pass through a private folder
// named with kTempPrefix, so they can never collide with a user's file of
// the same name; a backup copy is extracted straight into its place there.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "archive/zip_listing.h"
#include "archive/zip_status.h"

#include "core/records.h"
#include "engine/backup_tree.h"

namespace quorvane {

struct FileStamp;

struct LoadOptions {
    bool test = true;  // read every archive entry in full and check it
    bool useMD5 = false;
    bool useSHA1 = false;
    // A descriptor of the folder holding the collection's file, or -1: a
    // zip is then opened there by its file name (ReadOpen).
    int folder = -1;
};

// Whether `path` is loaded as an archive: decided by its file name alone,
// never by the folders above it.
bool isArchiveName(const std::string& path);

// Fills `collection.files` (an archive's folder entries, names ending in
// "/", are not files and are left out). Ok on success (the archive test's
// end-of-list status counts as success); an archive that fails the test
// returns the test's status and loads nothing; FileNotFound for a loose file
// that does not exist, FileUnreadable for one that cannot be opened. Loose
// files are named by their bare file name.
// `openedAs`, when given, receives the file's stamp from before any of it
// was read (a zip's as it was opened; invalid when it could not be).
ZipStatus loadCollection(ContainerFiles& collection, const LoadOptions& options, FileStamp* openedAs = nullptr);
// A folder inside an archive holds no data: no ROM, nothing to identify.
bool isFolderEntry(const ZipEntry& entry);

// Names an archive's file as the listing showed it. Take it before
// identification, which may set the file's size text to "-".
EntryKey keyOf(const File& listed);

// Entries a copy moved out of an archive to make room for another entry of
// the same name, and where each went: a later step of the same job that
// wants one of them takes it from there, and need not move it again.
// add() and find() are safe from several threads; moves() is read where
// nothing adds.
class DisplacedEntries {
public:
    struct Move {
        std::string archivePath;
        EntryKey key;
        std::string movedTo;
    };

    DisplacedEntries() = default;
    // The moves of one step among others running at once: each is added to
    // `job` as well, whose find() sees every step's moves.
    explicit DisplacedEntries(DisplacedEntries& job) : job_(&job) {}

    void add(const std::string& archivePath, const EntryKey& key, const std::string& movedTo);
    // Where the entry went; false when no copy moved it.
    bool find(const std::string& archivePath, const EntryKey& key, std::string& movedTo) const;
    // Every move in the order made.
    const std::vector<Move>& moves() const { return moves_; }

private:
    DisplacedEntries* job_ = nullptr;
    mutable std::mutex mutex_;
    std::map<std::tuple<std::string, std::string, uint32_t, uint64_t>, size_t> index_;
    std::vector<Move> moves_;
};

// Moves the file `listed` (as loaded: an entry of the collection's archive,
// or the loose file itself) to its place in `backup` (forEntry or forFile),
// or a free variant ("name (1)") when that name is taken. Ok, or the
// failing status (EntryGone when the archive no longer holds that entry); on
// failure the file is still where it was and no copy of it was left in the
// backup. `movedTo` receives the new path.
ZipStatus moveToBackup(const ContainerFiles& collection, const File& listed, const BackupTree& backup,
                       std::string* movedTo = nullptr);

// Where moveToBackup took an entry, or why it could not (`error`: errno
// when the status is Error).
struct EntryMove {
    ZipStatus status = ZipStatus::Error;
    int error = 0;
    std::string movedTo;
};

// moveToBackup of several entries of the zip `collection`, its archive
// rewritten once for all of them (deleted when none is left). When one of
// them is no longer in the archive, each is moved on its own as moveToBackup
// does.
std::vector<EntryMove> moveEntriesToBackup(const ContainerFiles& collection, const std::vector<File>& listed,
                                           const BackupTree& backup);

// Adds a copy of the file `listed` to the archive `archivePath` as
// `entryName` (compressed anew; entries of that name are replaced). The
// archive is created when no file of that name exists. The data added is
// checked against the listed CRC and size: other data is refused
// (CrcError) and the archive stays as it was. With `keepReplacedIn` (the
// backup of the archive's folder), every entry of that name with other
// content is first moved there (and noted in `displaced`), so a replacement never costs a user's
// data; an entry of the source that an earlier copy displaced is taken from
// where `displaced` says it went. With `withoutHeader` (the file as
// identifyFile left it, headerBytes > 0) the copy leaves out the copier
// header and is checked against that file's CRC and size. Ok, or the
// failing status.
ZipStatus copyToArchive(const ContainerFiles& collection, const File& listed, const std::string& archivePath,
                        const std::string& entryName, const BackupTree* keepReplacedIn = nullptr,
                        DisplacedEntries* displaced = nullptr, const File* withoutHeader = nullptr);

// Renames the entry `listed` of the zip `collection` to `entryName`,
// keeping the entry as it was in `backup` first (`movedTo` receives where):
// what copyToArchive into the same archive and then moveToBackup of the
// entry do, with one new version of the archive instead of two. Entries of
// that name with other content go to the backup first, as copyToArchive's
// (noted in `displaced`). Ok, or the failing status (EntryGone when the
// archive no longer holds the entry); on failure the archive is as it was
// and no copy of the entry was left in the backup.
ZipStatus renameEntryKeepingOld(const ContainerFiles& collection, const File& listed, const std::string& entryName,
                                const BackupTree& backup, DisplacedEntries* displaced, std::string* movedTo);

// Looks for what a killed run left in `folder` (names starting with
// kTempPrefix). A leftover archive that is complete and whose original name
// is free again is renamed back to that name; everything else is kept as it
// is, never deleted. Returns one warning line per leftover, to be posted.
std::vector<std::string> recoverLeftovers(const std::string& folder);
// The same for the leftovers `names` (listLeftovers) of `folder`.
std::vector<std::string> recoverLeftovers(const std::string& folder, const std::vector<std::string>& names);

}  // namespace quorvane
