// One key file of the row store, with texts for keys and data and the row store's
// small negative result codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keyfile/key_file.h"

namespace quorvane {

class KeyIndex {
public:
    static constexpr int kOpenFailed = -1;
    static constexpr int kInsertFailed = -2;
    static constexpr int kReadFailed = -3;
    static constexpr int kNotFound = -4;
    static constexpr int kEnd = -5;
    static constexpr int kFlushFailed = -6;
    static constexpr int kCloseFailed = -7;
    static constexpr int kDeleteFailed = -8;
    static constexpr int kUpdateFailed = -9;
    static constexpr int kEmpty = -11;
    static constexpr int kDamaged = -12;

    explicit KeyIndex(std::string path) : path_(std::move(path)) {}
    ~KeyIndex() { close(); }
    KeyIndex(const KeyIndex&) = delete;
    KeyIndex& operator=(const KeyIndex&) = delete;

    const std::string& path() const { return path_; }
    bool isOpen() const { return handle_ != nullptr; }

    // Creates the key file, or opens it for update when it exists. A file
    // shorter than the two blocks every key file starts with was cut short
    // while it was being created; it holds nothing and is made again.
    // kDamaged when the file is damaged, kOpenFailed when it cannot be
    // opened for writing.
    int open();
    // Closes without writing the changes the cache holds.
    void abandon();
    KeyFile* handle() const { return handle_; }
    int close();
    int flush();
    int insert(const std::string& key, const std::string& data);
    // Positions on the first record of `key`.
    int find(const std::string& key);
    // Appends the data of every record of `key`, read as a decimal row
    // offset (entries that are not one are skipped), in one walk. Leaves no
    // current record. 0, or kNotFound when there is none.
    int findOffsets(const std::string& key, std::vector<std::uint64_t>& offsets);
    // The current record's data.
    int read(std::string& data);
    int first(std::string& key);
    int next(std::string& key);
    int deleteCurrent();
    int updateCurrent(const std::string& data);

private:
    std::string path_;
    KeyFile* handle_ = nullptr;
};

}  // namespace quorvane
