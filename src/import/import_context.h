// What the DAT readers share while one file is imported: the host, the
// category database, the progress, the replace question and the row checks.
// A reader calls acceptHeader() once it knows the system, then stores rows
// with storeRom() (directly, or through a ScratchRomset).
#pragma once

#include <optional>
#include <string>

#include "catalogue/catalogue.h"
#include "core/job_host.h"
#include "core/settings.h"
#include "import/dat_rows.h"
#include "import/progress_throttle.h"

namespace quorvane {

enum class ReplaceDecision { Insert, Delete, Cancel };
enum class StoreResult { Stored, Skipped, Failed };
// How one file ended. A file counts as failed unless its reader got to the
// end (Imported) or the user chose to keep the system it holds (Kept).
enum class FileOutcome { Failed, Imported, Kept };

class ImportContext {
public:
    // `path` names the DAT in messages; `file` is where its bytes are (a DAT
    // unpacked from a zip is read from a temporary copy), by default `path`.
    ImportContext(JobHost& host, Catalogue& category, const Settings& settings, std::string path,
                  std::string file = {})
        : host_(host),
          category_(category),
          settings_(settings),
          path_(std::move(path)),
          file_(file.empty() ? path_ : std::move(file)),
          progress_(host) {}

    JobHost& host() { return host_; }
    Catalogue& category() { return category_; }
    const Settings& settings() const { return settings_; }
    const std::string& path() const { return path_; }
    const std::string& file() const { return file_; }
    ProgressThrottle& progress() { return progress_; }

    void message(const std::string& text) { host_.addMessage(text); }

    // The header checks every reader makes before storing anything: a system
    // name that can be a folder name and the catalogue can hold. A version or
    // author too long to store is shortened (with a message): they name no
    // file. False after a message when the file must be left alone.
    bool acceptHeader(DatHeader& header);

    // Asks before an existing system is replaced. The question comes whenever
    // the category holds the system, whatever its stored version says.
    ReplaceDecision decideReplacement(const DatHeader& header);

    // Adds one row to `target`. A row the catalogue cannot hold, or whose
    // game or ROM name cannot name an archive or an entry that stays inside
    // its folder, is reported and skipped; any other failure is reported and
    // ends the file (Failed).
    StoreResult storeRom(Catalogue& target, const DatHeader& header, const DatRom& rom);
    // The row storeRom() would add; none (after a message) when its names
    // cannot be used.
    std::optional<RomRow> acceptRom(const DatHeader& header, const DatRom& rom);
    // storeRom() of a row acceptRom() gave.
    StoreResult storeRow(Catalogue& target, const RomRow& row);
    // Reports a row skipped because a field or the whole is too long to store.
    void rowTooLong(const RomRow& row);
    // Adds a game's facts row to `target`. A game whose name its ROMs could
    // not use (they said why) is skipped, as is a row too long to store; a
    // parent or BIOS name too long to be a game's is left out. Any other
    // failure ends the file (Failed).
    StoreResult storeFacts(Catalogue& target, const DatHeader& header, const GameFacts& facts);

    // Removes the system's old rows after a Yes; false after a message.
    bool deleteOldRows(const std::string& system);

    // Reports a database failure that ends this file.
    void stopped(const std::string& error);

    // Readers call this once every row of the file is in the category.
    void finished() { outcome_ = FileOutcome::Imported; }
    // A file whose later part failed after an earlier part was stored.
    void failed() { outcome_ = FileOutcome::Failed; }
    FileOutcome outcome() const { return outcome_; }
    // Rows stored into the category (not the scratch database) so far.
    size_t storedRows() const { return storedRows_; }
    // The systems the file holds (", " between them), as their headers were accepted.
    const std::string& systemName() const { return systemName_; }

    // False after a message when the row's names cannot be used on disk.
    bool acceptNames(const DatRom& rom);

private:

    JobHost& host_;
    Catalogue& category_;
    const Settings& settings_;
    std::string path_;
    std::string file_;
    ProgressThrottle progress_;
    FileOutcome outcome_ = FileOutcome::Failed;
    size_t storedRows_ = 0;
    std::string systemName_;
};

}  // namespace quorvane
