// One key file of the row store, with texts for keys and data. Results are
// catalogue layer statuses (store_status.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/store_status.h"
#include "keyfile/key_file.h"

namespace quorvane {

class KeyIndex {
public:
    explicit KeyIndex(std::string path) : path_(std::move(path)) {}
    ~KeyIndex() { close(); }
    KeyIndex(const KeyIndex&) = delete;
    KeyIndex& operator=(const KeyIndex&) = delete;

    const std::string& path() const { return path_; }
    bool isOpen() const { return handle_ != nullptr; }

    // Creates the key file, or opens it for update when it exists. A file
    // shorter than the two blocks every key file starts with was cut short
    // while it was being created; it holds nothing and is made again.
    // Damaged when the file is damaged, IndexOpenFailed when it cannot be
    // opened for writing.
    StoreStatus open();
    // Closes without writing the changes the cache holds.
    void abandon();
    KeyFile* handle() const { return handle_; }
    StoreStatus close();
    StoreStatus flush();
    StoreStatus insert(const std::string& key, const std::string& data);
    // Positions on the first record of `key`.
    StoreStatus find(const std::string& key);
    // Appends the data of every record of `key`, read as a decimal row
    // offset (entries that are not one are skipped), in one walk. Leaves no
    // current record. Ok, or NotFound when there is none.
    StoreStatus findOffsets(const std::string& key, std::vector<std::uint64_t>& offsets);
    // The current record's data.
    StoreStatus read(std::string& data);
    StoreStatus first(std::string& key);
    StoreStatus next(std::string& key);
    StoreStatus deleteCurrent();
    StoreStatus updateCurrent(const std::string& data);
    // Calls `visit(key, offset)` for every record whose data is a row offset,
    // in key order, in one walk. False when the walk fails.
    using OffsetVisit = void (*)(void* context, std::string_view key, std::uint64_t offset);
    bool eachOffset(OffsetVisit visit, void* context);
    // A row offset as the indexes store it (decimal text); false when damaged.
    static bool parseOffset(std::string_view text, std::uint64_t& out);
    // Changes whenever the records may have changed (each write, open,
    // close and rollback): what was read from the index under one
    // generation holds while it lasts.
    std::uint64_t generation() const { return generation_; }

private:
    std::string path_;
    KeyFile* handle_ = nullptr;
    std::uint64_t generation_ = 0;
};

}  // namespace quorvane
