// The catalogue database of one category (or the import's scratch database):
// queries and status updates over a `RowStore`.
//
// How to use: construct on a base path (databasesDir + name). Each operation
// opens and closes the files itself, unless a job brackets its work with
// openDB()/closeDB(), which keeps the files open (and locked against other
// processes) for the whole job. Every operation holds the database's own
// lock, so the desktop program's calls never interleave with a job's inside
// one operation.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/key_offset_table.h"
#include "catalogue/row_store.h"
#include "core/records.h"

namespace quorvane {

class Catalogue {
public:
    explicit Catalogue(const std::string& basePath);
    ~Catalogue();
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    const std::string& basePath() const { return store_.basePath(); }
    // A scratch database is made anew for each use and needs no journal.
    void setScratch() { store_.setDurable(false); }

    // Ok, or why not (lastError() says what happened).
    StoreStatus openDB();
    StoreStatus closeDB();
    // Between openDB() and closeDB(): makes what was changed so far durable,
    // the files staying open and locked (a job can then look at them as no
    // other process can have changed them).
    StoreStatus commitDB();
    // The file every status write goes to.
    const std::string& recordPath() const { return store_.recordPath(); }
    // Opens and closes the database (rolling back what a crash left); false
    // with lastError() saying why when it cannot be used.
    bool probe();
    bool keptOpen() const { return keptOpen_; }

    // Stores `row` as a new, missing ROM; its size is stored normalised
    // (normaliseSize). The row's own status is not used.
    bool addRom(const RomRow& row);
    // Stores a game's facts (row_store.h): its kind, parent and BIOS.
    bool addGameFacts(const std::string& system, const std::string& version, const std::string& author,
                      const GameFacts& facts);
    // The row addGameFacts stores.
    static RomRow factsRow(const std::string& system, const std::string& version, const std::string& author,
                           const GameFacts& facts);
    // The facts of every game of `system` that has them, in insertion order.
    std::vector<GameFacts> gameFacts(const std::string& system);
    // Whether a stored ROM name is a facts row's, not a ROM's.
    static bool isFactsName(std::string_view romName) { return !romName.empty() && romName[0] == '\\'; }
    // The facts row's ROM name for a kind of set, and back ("\\game" for any other).
    static std::string_view factsNameOf(SetKind kind);
    static SetKind kindOfFactsName(std::string_view romName);
    bool deleteSystem(const std::string& system);
    // The version of the system's first row, or "0" when it has none.
    std::string getSystemVersion(const std::string& system);
    // True when the system has a catalogue entry.
    bool hasSystem(const std::string& system);
    void deleteDB();
    void cleanStatus();
    void cleanSystemStatus(const std::string& system);
    // Holds the statuses of `system` in memory until writeHeldStatus(): its
    // rows read as missing from here on, as after cleanSystemStatus, and the
    // statuses given to them stay in memory; rows of other systems are
    // written as usual. A scan gives back most of what it cleans, so only
    // the difference reaches the disk. Rows must not be added or deleted
    // while a hold lasts.
    void holdSystemStatus(const std::string& system);
    // Writes each held row whose status differs from the stored one and ends
    // the hold. False (lastError() says why) when one could not be written.
    // With `visitGames`, the rows are read once for that and for what
    // forEachGameStatus does: each game's letters as written go to
    // `visitGames`, and `visited` is set once they all have.
    bool writeHeldStatus(const std::function<void(std::string_view letters)>& visitGames = {},
                         bool* visited = nullptr);
    // How many rows the last writeHeldStatus() wrote.
    size_t heldStatusWrites() const { return heldWrites_; }

    std::vector<std::string> getSystems();
    std::vector<std::string> getIncompleteSystems();
    std::vector<std::string> getCompleteSystems();

    // mode 0 all games, 1 complete, 2 missing, 3 incomplete. Updates the
    // system's catalogue status from all its rows.
    Romset getRomset(const std::string& system, int mode);
    // getRomset for a listing: the same games, each with its statusString
    // but without its ROMs (getGame has them), so a big system's listing
    // holds a few bytes per ROM.
    Romset listGames(const std::string& system, int mode);
    // Every game of `system` that has ROMs, in name order, each with its
    // ROMs in stored order and its kind, handed to `visit` one at a time: a
    // report of a big system holds one game's records and a few bytes per
    // row, where getRomset holds every row's. No BIOS is filled in. `visit`
    // must not use the catalogue. Updates the system's status as getRomset.
    void forEachGame(const std::string& system, const std::function<void(const Game& game)>& visit);
    // The status letters of each game of `system` that has ROMs, in stored
    // order (Game::statusString), the games in no particular order: what a
    // tally needs, without a record made or a name sorted. Updates the
    // system's status as getRomset.
    void forEachGameStatus(const std::string& system, const std::function<void(std::string_view letters)>& visit);
    // One game's ROMs in stored order, and its kind, read through the game
    // index. False when the system has no game of that name with ROMs.
    bool getGame(const std::string& system, const std::string& game, Game& out);

    // Appends the rows filed under `crc` and `size` whose digests do not
    // disagree. With an empty `crc`, the rows without a CRC (listed in a DAT
    // by MD5 or SHA-1 alone) of that size whose digest equals one given.
    int findRom(std::vector<RomMatch>& list, const std::string& crc, const std::string& size,
                const std::string& md5, const std::string& sha1);
    // As findRom, but with the rows filed with a parent or BIOS reference
    // too, their cloneOf and romOf filled: a merge mode decides where each goes.
    // `offsets`, when given, receives each appended row's place in the store,
    // for setRowStatus.
    int findRows(std::vector<RomMatch>& list, const std::string& crc, const std::string& size,
                 const std::string& md5, const std::string& sha1, std::vector<std::uint64_t>* offsets = nullptr);
    // Gives the row at `offset` (from findRows) `status`.
    void setRowStatus(std::uint64_t offset, RomStatus status);

    // A ROM row and its place in the store.
    struct FiledRow {
        RomMatch row;
        std::uint64_t offset = 0;
    };
    // Every ROM row filed under `crc` and `size` (facts rows left out),
    // whatever its digests and references, in index order: a job that
    // filters them itself looks them up once, and marks them by offset.
    // They replace `out`'s rows, whose memory they reuse.
    void rowsFiledUnder(const std::string& crc, const std::string& size, std::vector<FiledRow>& out);
    // The same rows as views, each into a buffer of its own that the next
    // fill reuses: a caller that only compares fields copies none of them.
    struct FiledViews {
        struct Bytes {
            RowStore::RowBuffer bytes;
        };
        std::vector<RowStore::RowView> rows;
        std::vector<std::uint64_t> offsets;
        std::deque<Bytes> buffers;  // grows, and keeps each buffer where it is
    };
    void rowViewsFiledUnder(const std::string& crc, const std::string& size, FiledViews& out);
    // A job that keeps the store open is about to look up at least `count`
    // ROMs: when that many make it pay, the CRC index is read whole now,
    // before the first of them.
    void expectCrcLookups(std::uint64_t count);
    // The ROM rows at `offsets` (from rowsFiledUnder), as they are now, in
    // place of `out`'s; false when one cannot be read or is not a ROM row.
    bool rowsAt(const std::vector<std::uint64_t>& offsets, std::vector<FiledRow>& out);
    // Gives `status` to each row at `offsets` that has another.
    void markRowsAt(const std::vector<std::uint64_t>& offsets, RomStatus status);
    // Whether a row with digests `rowMd5`, `rowSha1` answers a lookup by
    // `md5`, `sha1` (byDigest: a lookup without a CRC), as findRom decides.
    static bool digestsAnswer(std::string_view md5, std::string_view sha1, std::string_view rowMd5,
                              std::string_view rowSha1, bool byDigest);
    // What identifies the catalogue's rows as they are: the index and record
    // files' stamps. Imports, deletions and repairs change it; status writes
    // do not. Empty when the files cannot be seen.
    std::string rowsStamp();
    // Gives `status` to every ROM row filed under `crc` and `size` that
    // `wanted` accepts (it sees the row's game, name, cloneOf and romOf).
    void markRows(const std::string& crc, const std::string& size, RomStatus status,
                  const std::function<bool(const RomMatch& row)>& wanted);
    // Which digests the rows without a CRC of this size carry: a file of that
    // size worth digesting when its CRC found nothing.
    DigestKinds digestsOfCrcLessRows(const std::string& size);
    int countRom(int& count, const std::string& crc, const std::string& size, const std::string& romName,
                 const std::string& game, const std::string& system);
    void setHave(const std::string& crc, const std::string& size, const std::string& romName,
                 const std::string& game, const std::string& system);
    void setPresent(const std::string& crc, const std::string& size, const std::string& romName,
                    const std::string& game, const std::string& system);
    // 1: number of ROM rows; 2: number of systems; else "0".
    std::string getCount(int kind);

    // Visits the ROM rows of one system in insertion order (facts rows are
    // left out; gameFacts has them).
    void forEachSystemRow(const std::string& system, const std::function<void(const RomRow&)>& visit);
    // The same with the facts rows among them (isFactsName tells them apart).
    void forEachSystemRowAndFacts(const std::string& system, const std::function<void(const RomRow&)>& visit);
    // Visits every ROM row of the database (system by system, insertion order).
    void forEachRow(const std::function<void(const RomRow&)>& visit);

    // Text of the last failure, empty when the last operation succeeded.
    std::string lastError() const;
    // Whether the last failed open found the files damaged (repair may mend them).
    bool lastOpenFoundDamage() const;

    // A size that is not a positive integer is stored as "-".
    static std::string normaliseSize(const std::string& size);

private:
    // Opens the store for one operation unless the job keeps it open.
    class Session;

    bool openForOperation();
    void closeAfterOperation();
    void setError(std::string text);
    void markStatus(const std::string& crc, const std::string& size, const std::string& romName,
                    const std::string& game, const std::string& system, RomStatus status);
    std::vector<std::string> systemsWithStatus(const char* wanted);
    // Stores the system's catalogue status ("N" when a game is not had whole).
    void noteSystemState(const std::string& system, bool anyNotHave);
    void collectSystemRows(const std::string& system, std::vector<std::uint64_t>& offsets);
    void visitSystemRows(const std::string& system, bool withFacts, const std::function<void(const RomRow&)>& visit);
    // Fills crcOffsets_ with the rows filed under the CRC (lower case) and size.
    void collectCrcRows(const std::string& crc, const std::string& size);
    // Reads the CRC index into crcTable_ once the lookups make it pay;
    // `lookingUp`: counts a lookup about to be made.
    void considerCrcTable(bool lookingUp = true);
    // A row of crcOffsets_ belongs to the lookup only when its own CRC is the
    // one asked for: a CRC-less row of size 123456789 and a row of CRC
    // 12345678 and size 9 share the key "123456789".
    bool filedUnderCrc(std::string_view rowCrc) const;
    // findRom and findRows; `withReferences`: also the rows filed with one.
    void findMatching(std::vector<RomMatch>& list, const std::string& crc, const std::string& size,
                      const std::string& md5, const std::string& sha1, bool withReferences,
                      std::vector<std::uint64_t>* offsets = nullptr);

    // The store's row and status access, through the held statuses.
    StoreStatus readRow(std::uint64_t offset, RowStore::RowBuffer& buffer, RowStore::RowView& view,
                        size_t* length = nullptr);
    StoreStatus writeStatus(std::uint64_t offset, RomStatus status);
    // The held letter of the row at `offset`, or null when it is not held.
    char* heldLetter(std::uint64_t offset);

    // One system's rows (by offset, ascending) and their statuses while held.
    struct HeldStatuses {
        std::string system;
        std::vector<std::uint64_t> offsets;
        std::string letters;
        // offsets split by offset >> shift into about as many buckets as
        // there are rows: bucket b starts at index bucketStart[b], so a
        // lookup searches a handful of rows instead of all of them.
        int shift = 0;
        std::vector<std::uint32_t> bucketStart;
    };
    std::optional<HeldStatuses> held_;
    size_t heldWrites_ = 0;

    mutable std::recursive_mutex mutex_;
    RowStore store_;
    bool keptOpen_ = false;
    std::string lastError_;
    StoreStatus lastOpenStatus_ = StoreStatus::Ok;
    // Reused by the per-ROM queries, which run millions of times in a scan.
    std::string crcKey_;
    size_t crcKeySize_ = 0;  // the size's share of crcKey_
    std::vector<std::uint64_t> crcOffsets_;
    // The CRC index read whole, once the lookups of a job that keeps the
    // store open are a fair share of its rows (collectCrcRows).
    KeyOffsetTable crcTable_;
    std::uint64_t crcLookups_ = 0;
    std::uint64_t crcLookupsAt_ = 0;  // the index generation crcLookups_ counts under
    std::uint64_t crcExpected_ = 0;   // lookups announced and not made yet
    std::optional<std::uint64_t> crcTableRefusedAt_;  // the index generation a build failed at
};

}  // namespace quorvane
