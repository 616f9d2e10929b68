#include "catalogue/key_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include "keyfile/key_file_format.h"

namespace quorvane {

int KeyIndex::open() {
    if (handle_) return 0;
    handle_ = keyFileCreate(path_);
    if (!handle_) handle_ = keyFileOpen(path_, true);
    if (handle_) return 0;
    const int error = keyFileErrno();
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) < 2 * keyfile::kBlockSize && ::unlink(path_.c_str()) == 0) {
        handle_ = keyFileCreate(path_);
        if (handle_) return 0;
    }
    return error == kKfDamaged ? kDamaged : kOpenFailed;
}

void KeyIndex::abandon() {
    if (handle_) keyFileAbandon(handle_);
    handle_ = nullptr;
}

int KeyIndex::flush() {
    if (!handle_) return kFlushFailed;
    return keyFileFlush(handle_) < 0 ? kFlushFailed : 0;
}

int KeyIndex::close() {
    if (!handle_) return 0;
    const bool flushed = keyFileFlush(handle_) >= 0;
    const bool closed = keyFileClose(handle_) >= 0;
    handle_ = nullptr;
    if (!flushed) return kFlushFailed;
    return closed ? 0 : kCloseFailed;
}

int KeyIndex::insert(const std::string& key, const std::string& data) {
    if (!handle_) return kInsertFailed;
    return keyFileInsert(handle_, key.data(), static_cast<int>(key.size()), data.data(),
                         static_cast<int>(data.size())) < 0
               ? kInsertFailed
               : 0;
}

int KeyIndex::find(const std::string& key) {
    if (!handle_ || key.empty() || key.size() > 255) return kNotFound;
    const int len = keyFileFind(handle_, kFindFirstEqual, key.data(), static_cast<int>(key.size()), nullptr, nullptr);
    return len < 1 ? kNotFound : 0;
}

int KeyIndex::findOffsets(const std::string& key, std::vector<std::uint64_t>& offsets) {
    if (!handle_ || key.empty() || key.size() > 255) return kNotFound;
    const auto collect = [](void* context, const char* data, int len) {
        if (len < 1 || len > 19) return;
        std::uint64_t v = 0;
        for (int i = 0; i < len; ++i) {
            if (data[i] < '0' || data[i] > '9') return;
            v = v * 10 + static_cast<std::uint64_t>(data[i] - '0');
        }
        static_cast<std::vector<std::uint64_t>*>(context)->push_back(v);
    };
    const int n = keyFileFindAll(handle_, key.data(), static_cast<int>(key.size()), collect, &offsets);
    return n < 1 ? kNotFound : 0;
}

int KeyIndex::read(std::string& data) {
    data.clear();
    if (!handle_) return kReadFailed;
    // Data in this program are short decimal texts and status letters.
    char buffer[1024];
    const int n = keyFileRead(handle_, buffer, sizeof buffer);
    if (n < 1) return kReadFailed;
    data.assign(buffer, static_cast<size_t>(n));
    return n;
}

int KeyIndex::first(std::string& key) {
    key.clear();
    if (!handle_) return kEmpty;
    char buffer[256];
    int len = 0;
    if (keyFileFirst(handle_, buffer, &len) < 0) return kEmpty;
    key.assign(buffer, static_cast<size_t>(len));
    return 0;
}

int KeyIndex::next(std::string& key) {
    key.clear();
    if (!handle_) return kEnd;
    char buffer[256];
    int len = 0;
    if (keyFileNext(handle_, buffer, &len) < 0) return kEnd;
    key.assign(buffer, static_cast<size_t>(len));
    return 0;
}

int KeyIndex::deleteCurrent() {
    if (!handle_) return kDeleteFailed;
    return keyFileDelete(handle_) < 0 ? kDeleteFailed : 0;
}

int KeyIndex::updateCurrent(const std::string& data) {
    if (!handle_) return kUpdateFailed;
    return keyFileUpdate(handle_, data.data(), static_cast<int>(data.size())) < 0 ? kUpdateFailed : 0;
}

}  // namespace quorvane
