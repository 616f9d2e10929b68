// The rollback journal that makes each change of a category database atomic
// and durable. The record file and the five key files keep their own format;
// the journal is a seventh file, B.jnl, that exists only while a change is
// being written (or after a crash cut one short).
//
// PROTOCOL (one transaction)
//   1. While the change runs, no byte that existed when it began is written:
//      changed key-file blocks and record-file bytes wait in memory. Blocks
//      and rows appended past the old ends may be written early (a large
//      import cannot hold them all), but only after the journal header, which
//      holds the old lengths, has been written and synced.
//   2. Commit: the old bytes of every waiting block and byte range are
//      appended to the journal, which is synced once (with its folder, the
//      first time). Then the waiting data are written and the six files
//      synced once. Deleting the journal is the commit point.
//   3. Open: a journal with a sound header is hot. Every sound record is
//      written back, each file is cut to its old length (spill files past it
//      deleted), the files are synced and the journal deleted. A journal whose
//      header is torn was never synced, so nothing of its change reached the
//      data files: it is simply deleted.
//   A crash during a roll-back leaves the journal, and the next open rolls
//   back again: writing the same old bytes twice is harmless.
//
// HEADER (48 bytes, integers big-endian)
//   off size
//   0   8    magic "QVJOURN2"
//   8   4    salt: differs between journals, so a record left from an earlier
//            one cannot pass for part of this one
//   12  8    length of B.rcf in bytes when the change began
//   20  20   block counts of B_sys.idx, B_crc.idx, B_sysCat.idx, B_del.idx,
//            B_game.idx
//   40  4    blocks per physical key file (65535)
//   44  4    CRC-32 of bytes 0..43
// A journal left by a version that had no B_game.idx has magic "QVJOURN1"
// and a 44-byte header without that file's count (blocks per file at 36,
// CRC-32 of bytes 0..35 at 40); it is rolled back the same way, leaving
// B_game.idx alone.
//
// RECORD (one per changed block or byte range, 17 + n bytes)
//   0   1    file: 0 B.rcf, 1 B_sys.idx, 2 B_crc.idx, 3 B_sysCat.idx, 4 B_del.idx,
//            5 B_game.idx
//   1   8    byte offset in the whole file (a key file's block n: n * 4096,
//            wherever its physical file puts it)
//   9   4    n, the number of bytes
//   13  n    the bytes as they were before the change
//   13+n 4   CRC-32 of the salt followed by bytes 0 .. 12+n of the record
//   Roll-back applies the records in order and stops at the first whose CRC
//   fails (a torn tail written after the last sync; its blocks were never
//   overwritten).
//
// Example: a scan that changed status bytes of rows at 0 and 33 of a record
// file of 66 bytes, whose sysCat block 0 also changed, writes the header,
// a record (0, 0, 34, 34 old bytes) covering both rows, and a record
// (3, 0, 4096, the old root block).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

class Journal {
public:
    static constexpr size_t kFiles = 6;
    static constexpr size_t kKeyFiles = kFiles - 1;
    static constexpr size_t kHeaderSize = 48;
    static constexpr size_t kRecordOverhead = 17;

    // The lengths of the six files when a change began.
    struct Origin {
        std::uint64_t recordLength = 0;
        std::array<std::uint32_t, kKeyFiles> blockCounts{};
        std::uint32_t blocksPerFile = 65535;
    };

    // `files`: the paths of B.rcf and the five key files, in the order of
    // the record's file byte.
    Journal(std::string path, std::array<std::string, kFiles> files);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const std::string& path() const { return path_; }

    // A new transaction over files of these lengths. Writes nothing.
    void begin(const Origin& origin);
    // True once the header of this transaction is on disk and synced.
    bool durable() const { return durable_; }
    // Writes and syncs the header (before anything is appended to a data
    // file). 0, or -1 when the journal cannot be written.
    int makeDurable();
    // Keeps the old bytes of a range about to change. 0 or -1.
    int add(std::uint8_t file, std::uint64_t offset, const void* bytes, size_t size);
    // Writes what add() kept (with the header, if not written yet) and syncs
    // the journal once. After it the data files may be overwritten.
    int sync();
    // Deletes the journal: the change is committed. 0 or -1.
    int finish();
    // True when this transaction has old bytes to keep or a journal file.
    bool needed() const { return fd_ >= 0 || !buffer_.empty(); }

    // Rolls back a hot journal at `path` over `files`. 0 when there was none
    // or the roll-back is done (the journal is gone), -1 when a file could
    // not be restored (the journal stays for the next attempt).
    static int rollBack(const std::string& path, const std::array<std::string, kFiles>& files);

private:
    int openFile();
    int writeBuffer();

    std::string path_;
    std::array<std::string, kFiles> files_;
    Origin origin_;
    std::uint32_t salt_ = 0;
    int fd_ = -1;
    bool durable_ = false;
    std::uint64_t end_ = 0;  // journal length written so far
    std::string buffer_;     // records not written yet
};

}  // namespace quorvane
