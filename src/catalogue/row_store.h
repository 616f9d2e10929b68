// A category database on disk: one record file of ROM rows and five key files
// that index it, all named from one base path B.
//
//   B.rcf          rows back to back, no header; a row's byte offset is its id
//   B_sys.idx      key: system name        data: row offset (decimal text)
//   B_crc.idx      key: crc text + size    data: row offset (decimal text);
//                  a row without a CRC (a DAT listed it by MD5 or SHA-1
//                  alone) is filed under its size alone, so a key may stand
//                  for two rows ("12345678"+"9", ""+"123456789"): a lookup
//                  compares the row's own CRC field
//   B_sysCat.idx   key: system name        data: "N" or "C" (one per system)
//   B_del.idx      key: sizeKey            data: offset of a freed row
//   B_game.idx     key: gameKey            data: row offset (decimal text);
//                  gameKey is the system name, a zero byte and the game
//                  name, cut to 255 bytes, so two long names may share a
//                  key: a lookup compares the row's own system and game.
//                  A database made before this file existed has none: the
//                  first open builds it from the system index (in one
//                  transaction, so a crash leaves it empty and the next
//                  open builds it again). An empty game index beside a
//                  system index with rows is always such a database.
//
// Row layout:
//   offset 0   1 byte   status: 'N' missing, 'Y' have, 'P' present elsewhere
//   then eleven fields, each a length byte (0..255) and that many bytes, no
//   terminator, in this order: system, game, crc, romName, size, md5, sha1,
//   cloneOf, romOf, version, author.
// A row takes 12 + (sum of field lengths) bytes and at most 1024, because a
// reader takes 1024 bytes at a time. sizeKey is the decimal text of
// (sum of field lengths + 8): two rows share it exactly when they have the
// same size, so a freed row is reused only by a row of its own size.
//
// A row whose ROM name starts with a backslash (which no ROM name holds)
// carries its game's facts, not a ROM: \game, \bios or \device for the
// kind of set, with the game's clone-of and BIOS names in cloneOf and
// romOf, no CRC, size "-" and status 'N'. A game has at most one.
//
// Example: system "S", game "G", crc "0123abcd", romName "a.bin", size
// "1024", version "1", author "A", the rest empty: 21 field bytes, the row
// takes 33 bytes (4E 01 53 01 47 08 30 31 32 33 61 62 63 64 05 61 2E 62 69 6E
// 04 31 30 32 34 00 00 00 00 01 31 01 41) and its sizeKey is "29".
//
// While the store is open the record file carries an exclusive advisory lock
// (flock), so a second process cannot write the same database at once; it is
// released only after every file is written and synced.
//
// Everything the store changes between open and commit (or close) is one
// transaction, made atomic and durable by the rollback journal B.jnl
// (journal.h): bytes of the record file that existed when it began wait in
// memory (reads see them) until the commit; rows appended at the end wait in
// a buffer of up to kAppendBuffer bytes and go to disk in one write once the
// journal's header is durable. Open rolls back a journal left by a crash.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "catalogue/key_index.h"
#include "catalogue/record_cache.h"
#include "catalogue/rom_row.h"
#include "catalogue/store_status.h"
#include "keyfile/journal.h"

namespace quorvane {

class RowStore {
public:
    static constexpr size_t kMaxFieldLength = 255;
    static constexpr size_t kAppendBuffer = 64 * 1024;
    static constexpr size_t kMaxRowLength = 1024;

    explicit RowStore(const std::string& basePath);
    ~RowStore();
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    StoreStatus open();
    // Takes the lock (rolling back what a crash left) without opening the
    // key files: check and repair read possibly damaged files themselves.
    // close() releases it.
    StoreStatus lockFiles();
    // Commits, then closes every file; the lock goes last.
    StoreStatus close();
    // Makes the changes since open (or the last commit) durable as one and
    // starts the next transaction. On failure the changes are rolled back.
    StoreStatus commit();
    // The import's scratch database needs no journal and no sync: it is made
    // anew each time. Nor a game index: nothing lists its games.
    void setDurable(bool durable) { durable_ = durable; }
    bool isOpen() const { return fd_ >= 0; }
    void deleteFiles();

    // A row's fields as views into the caller's buffer, so a query can test
    // a row before it copies anything.
    struct RowView {
        char status = 'N';
        std::string_view system, game, crc, romName, size, md5, sha1, cloneOf, romOf, version, author;
    };
    using RowBuffer = char[kMaxRowLength];
    // Fills `row` with views into `buffer`; `length`, when given, receives
    // the row's length in bytes.
    StoreStatus readRow(std::uint64_t recordOffset, RowBuffer& buffer, RowView& row, size_t* length = nullptr);
    // Views of a row held in memory; false when it does not parse.
    static bool parseRow(const char* bytes, size_t length, RowView& row, size_t* used = nullptr);
    StoreStatus readRecord(std::uint64_t recordOffset, RomRow& record);
    static void copyRow(const RowView& view, RomRow& record);
    StoreStatus writeStatus(std::uint64_t recordOffset, RomStatus status);
    StoreStatus insertRecord(const RomRow& record);

    static std::string sizeKey(const RomRow& record);
    static std::string gameKey(std::string_view system, std::string_view game);
    // A row offset as the indexes store it (decimal text); false when damaged.
    static bool parseOffset(const std::string& text, std::uint64_t& out);
    // The row's bytes; empty when a field or the row is too long to store.
    static std::string encodeRow(const RomRow& record);
    // A row's eleven fields in their stored order (see the layout above).
    using RowFields = std::array<std::string_view, 11>;
    // Appends the row's bytes to `out`; false, leaving `out` as it was, when
    // a field or the row is too long to store.
    static bool appendRow(std::string& out, char status, const RowFields& fields);

    // The record file's length, appended rows included.
    std::uint64_t recordBytes() const { return end_; }
    const std::string& basePath() const { return basePath_; }
    const std::string& recordPath() const { return recordPath_; }
    std::string journalPath() const { return basePath_ + ".jnl"; }
    // The paths of the record file and the key files, as the journal numbers them.
    std::array<std::string, Journal::kFiles> filePaths() const;

    KeyIndex sysIndex;
    KeyIndex crcIndex;
    KeyIndex sysCatIndex;
    KeyIndex delIndex;
    KeyIndex gameIndex;

    // Removes the index entry of `key` whose data is `offset`.
    void removeIndexEntry(KeyIndex& index, const std::string& key, const std::string& offset);

private:
    // Fills an empty game index from the system index (see the header).
    StoreStatus buildGameIndex();
    std::array<KeyIndex*, Journal::kKeyFiles> keyIndexes() {
        return {&sysIndex, &crcIndex, &sysCatIndex, &delIndex, &gameIndex};
    }
    // Writes `size` bytes at `offset`, into the append buffer where they fall in it.
    bool writeAt(const char* data, size_t size, std::uint64_t offset);
    // Reads up to `size` bytes at `offset` from the file and the append buffer.
    ssize_t readAt(char* out, size_t size, std::uint64_t offset);
    bool flushAppends();
    // Writes to the record file itself, keeping the cache in step.
    bool writeFile(const char* data, size_t size, std::uint64_t offset);
    void beginTransaction();
    // Keeps a write below the transaction's start for the commit.
    void keepPending(const char* data, size_t size, std::uint64_t offset);
    void patchPending(char* out, size_t size, std::uint64_t offset) const;
    StoreStatus journalOldBytes();
    bool writePending();
    // Drops what the running transaction changed and rolls the files back.
    void rollBackNow();
    StoreStatus openIndexes();
    StoreStatus openRecordFile();
    static int beforeWrite(void* self);

    std::string basePath_;
    std::string recordPath_;
    int fd_ = -1;
    // The record file's length, kept while it is open and locked (no other
    // writer can grow it), so appending a row needs no fstat.
    std::uint64_t end_ = 0;
    bool written_ = false;
    // Appended rows not written yet: they belong at [end_ - size, end_).
    std::string appended_;
    bool durable_ = true;
    Journal journal_;
    // The record file's length when the transaction began.
    std::uint64_t startEnd_ = 0;
    // Writes below startEnd_, merged into non-touching ranges by offset.
    std::map<std::uint64_t, std::string> pending_;
    RecordCache cache_;
};

}  // namespace quorvane
