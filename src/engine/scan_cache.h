// What the last full test of each file of one system folder found, so that a
// later scan (or a fix's first pass) can take a file's listing from here
// instead of testing the file again while the file is unchanged.
//
// How to use:
//   ScanCache known = ScanCache::read(path, folder, digests);  // empty when unusable
//   if (const ScanCache::Record* r = known.find(name, stampOf(file))) use r->listing;
//   ScanCache next; next.put(name, record); next.write(path, folder, digests);
//
// "Unchanged" means the same device, inode, size, modification time and
// status-change time (both to the nanosecond). Nothing else is compared: a
// change that leaves all five alike goes unseen (see write()).
//
// Beside each listing, the record may keep what identification found of
// each listed file: the catalogue rows behind its matches (FoundRows). They
// are believed only while the catalogue's rows are as the header's stamp
// says (Catalogue::rowsStamp and the merge modes); a scan then marks those
// rows without looking the file up.
//
// On disk, one file per system, every number little-endian:
//   magic     8 bytes  "QVSCANC" 0x00
//   version   u32      kVersion; any other version is ignored
//   digests   u8       bit 0: listings carry MD5, bit 1: SHA-1
//   folder    text     the system folder the names are in
//   catalogue text     the catalogue stamp the rows were found under
//   count     u64      records that follow, in ascending byte order of name
//   record    text name; u64 device, inode; i64 size, modified ns, changed ns;
//             u8 kind (0 loose file, 1 zip, 2 packed archive); u8 all in
//             place (0 or 1, 1 only with files identified); text listing;
//             u32 files identified (0, or the listing's count), each a u32
//             count of rows, each u64 offset and u8 matched (0 or 1); u32
//             count of rows made "have" (0 unless all in place), each a u64
//             offset
//   crc       u32      CRC-32 of every byte before it
// A text is a u32 byte count and that many bytes. A listing is a u32 count
// of files, each five texts: name, size, crc, md5, sha1 (as loadCollection
// gave them, before identification).
// A file that is short, long, of another version, for another folder or
// other digests, out of order, or whose CRC does not match is not used at
// all; one made under another catalogue stamp is used without its rows.
// A read cache keeps the file's bytes and decodes a record only when its
// file is looked up: a re-scan that finds most files unchanged and in place
// never needs most records whole.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"
#include "engine/identification.h"
#include "engine/ordered_loader.h"
#include "engine/record_fields.h"

namespace quorvane {

// The files of a collection in a compact form that a later pass decodes.
std::string encodeListing(const std::vector<File>& files);
// False when `listing` is not one encodeListing made.
bool decodeListing(const std::string& listing, std::vector<File>& files);

enum class ScanKind : std::uint8_t { Loose = 0, Zip = 1, Packed = 2 };

// What the cache keeps of one file.
struct ScanRecord {
    FileStamp stamp;
    ScanKind kind = ScanKind::Loose;
    std::string listing;  // encodeListing's
    // Per listed file, the rows identification found; empty when not kept.
    FoundRowLists found;
    // With `found`: every entry was identified, and only as a ROM of this
    // very place; `haveRows` are then the rows the scan made "have" for
    // them, which a scan marks again without reading the entries.
    bool allInPlace = false;
    std::vector<std::uint64_t> haveRows;
    bool operator==(const ScanRecord&) const = default;
};

class ScanCache {
public:
    static constexpr std::uint32_t kVersion = 4;

    using Kind = ScanKind;
    using Record = ScanRecord;
    // Which digests the listings carry; a cache made with others is not used.
    struct Digests {
        bool md5 = false;
        bool sha1 = false;
        bool operator==(const Digests&) const = default;
    };

    // Where the cache of `system` lives beside the catalogue with base path
    // `cataloguePath`.
    static std::string pathFor(const std::string& cataloguePath, const std::string& system);

    // The cache at `path`, or an empty one when there is none or it is not
    // usable for `folder` and `digests` (see above); its records keep their
    // rows only when it was written under `catalogue`.
    static ScanCache read(const std::string& path, const std::string& folder, Digests digests,
                          const std::string& catalogue = {});
    // Writes the cache to `path` (a temporary file renamed over it, the
    // folder made when missing). False when it could not be written.
    bool write(const std::string& path, const std::string& folder, Digests digests,
               const std::string& catalogue = {}) const;

    // What a record says of its file without decoding it.
    struct Glance {
        FileStamp stamp;
        Kind kind = Kind::Loose;
        bool allInPlace = false;  // only with rows believed
        std::string_view listing;  // in the cache, for as long as it is not changed
    };

    // Makes a cache as write() would write it, record by record in
    // ascending byte order of name: a scan's next cache is then compared
    // with the one read, and written, without its records held in memory.
    class Encoder {
    public:
        // `expectedBytes`: about how large the file will be (the last one's
        // size): the bytes are then made in one block, not grown by copies.
        Encoder(const std::string& folder, Digests digests, const std::string& catalogue, size_t expectedBytes = 0);
        void add(std::string_view name, const Record& record);
        ScanCache finish() &&;

    private:
        FieldWriter out_;
        size_t countAt_ = 0;
        std::vector<size_t> starts_;
    };

    ScanCache() = default;
    ScanCache(ScanCache&& other) noexcept { *this = std::move(other); }
    ScanCache& operator=(ScanCache&& other) noexcept;

    // The record of file `name` when it was made of a file with `stamp`;
    // nullptr otherwise (also for an invalid stamp).
    const Record* find(const std::string& name, const FileStamp& stamp) const;
    const Record* find(const std::string& name) const;
    // The record of `name`, decoded for the caller, who may keep it past
    // this cache; nullptr when there is none. Safe from several threads.
    std::shared_ptr<const Record> share(const std::string& name, size_t hint = 0) const;
    // The stamp, kind and "all in place" of `name`'s record, false when
    // there is none. `hint`: where in name order it is likely to be (a
    // folder listed in the same order looks its files up one after another).
    bool glance(const std::string& name, Glance& out, size_t hint = 0) const;
    void put(const std::string& name, Record record) {
        put(name, std::make_shared<const Record>(std::move(record)));
    }
    void put(const std::string& name, std::shared_ptr<const Record> record);
    void erase(const std::string& name);
    size_t size() const { return bytes_.empty() ? records_.size() : starts_.size(); }
    bool empty() const { return size() == 0; }
    // Whether writing this cache under `catalogue` would give the file that
    // `read` read: the same records, written under the same stamp.
    bool sameAsRead(const ScanCache& read, const std::string& catalogue) const;
    // The names of the records, in order, and the stamps they were made of.
    std::vector<std::string> names() const;
    std::vector<FileStamp> stamps() const;
    // For a cache read without knowing the catalogue, before any record is
    // looked up: its records keep their rows when it was written under
    // `catalogue`, as if read under it.
    void believeRowsUnder(const std::string& catalogue) { keepRows_ = !readUnder_.empty() && readUnder(catalogue); }
    // Whether this cache was read from a usable file written under `catalogue`.
    bool readUnder(const std::string& catalogue) const { return wasRead_ && readUnder_ == catalogue; }
    // What tells the file read (or last written) from another: its length
    // and CRC. Zero for a cache neither read nor written.
    std::uint64_t fileSize() const { return fileSize_; }
    std::uint32_t fileCrc() const { return fileCrc_; }

private:
    // Where record `index` of the bytes read begins, and its name.
    std::string_view nameAt(size_t index) const;
    // The index of `name`'s record in the bytes read, or starts_.size();
    // record `hint` is asked first.
    size_t indexOf(std::string_view name, size_t hint = 0) const;
    // Decodes every record read into records_, so that they can be changed.
    void decodeAll();

    // Built or changed records, by name (the order they are written in).
    std::map<std::string, std::shared_ptr<const Record>, std::less<>> records_;
    // A cache read and not changed since: the file's bytes, and where each
    // record begins in them (records_ is then empty).
    std::string_view bytes_;
    std::shared_ptr<const char> block_;  // what bytes_ views
    std::vector<size_t> starts_;
    bool keepRows_ = false;
    // Decoded for find(), which hands out pointers into the cache.
    mutable std::mutex foundMutex_;
    mutable std::map<std::string, std::shared_ptr<const Record>, std::less<>> found_;
    // Set by read(): a usable file was found, and the stamp it was written under.
    bool wasRead_ = false;
    std::string readUnder_;
    mutable std::uint64_t fileSize_ = 0;
    mutable std::uint32_t fileCrc_ = 0;
};

}  // namespace quorvane
