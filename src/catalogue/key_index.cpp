#include "catalogue/key_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include "keyfile/key_file_format.h"

namespace quorvane {

StoreStatus KeyIndex::open() {
    if (handle_) return StoreStatus::Ok;
    ++generation_;
    handle_ = keyFileCreate(path_);
    if (!handle_) handle_ = keyFileOpen(path_, true);
    if (handle_) return StoreStatus::Ok;
    const int error = keyFileErrno();
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) < 2 * keyfile::kBlockSize && ::unlink(path_.c_str()) == 0) {
        handle_ = keyFileCreate(path_);
        if (handle_) return StoreStatus::Ok;
    }
    return error == kKfDamaged ? StoreStatus::Damaged : StoreStatus::IndexOpenFailed;
}

void KeyIndex::abandon() {
    ++generation_;
    if (handle_) keyFileAbandon(handle_);
    handle_ = nullptr;
}

StoreStatus KeyIndex::flush() {
    if (!handle_) return StoreStatus::IndexFlushFailed;
    return keyFileFlush(handle_) < 0 ? StoreStatus::IndexFlushFailed : StoreStatus::Ok;
}

StoreStatus KeyIndex::close() {
    if (!handle_) return StoreStatus::Ok;
    ++generation_;
    const bool flushed = keyFileFlush(handle_) >= 0;
    const bool closed = keyFileClose(handle_) >= 0;
    handle_ = nullptr;
    if (!flushed) return StoreStatus::IndexFlushFailed;
    return closed ? StoreStatus::Ok : StoreStatus::IndexCloseFailed;
}

StoreStatus KeyIndex::insert(const std::string& key, const std::string& data) {
    if (!handle_) return StoreStatus::IndexInsertFailed;
    ++generation_;
    return keyFileInsert(handle_, key.data(), static_cast<int>(key.size()), data.data(),
                         static_cast<int>(data.size())) < 0
               ? StoreStatus::IndexInsertFailed
               : StoreStatus::Ok;
}

StoreStatus KeyIndex::find(const std::string& key) {
    if (!handle_ || key.empty() || key.size() > 255) return StoreStatus::NotFound;
    const int len = keyFileFind(handle_, kFindFirstEqual, key.data(), static_cast<int>(key.size()), nullptr, nullptr);
    return len < 1 ? StoreStatus::NotFound : StoreStatus::Ok;
}

bool KeyIndex::parseOffset(std::string_view text, std::uint64_t& out) {
    if (text.empty() || text.size() > 19) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    out = v;
    return true;
}

StoreStatus KeyIndex::findOffsets(const std::string& key, std::vector<std::uint64_t>& offsets) {
    if (!handle_ || key.empty() || key.size() > 255) return StoreStatus::NotFound;
    const auto collect = [](void* context, const char* data, int len) {
        std::uint64_t v = 0;
        if (parseOffset({data, static_cast<size_t>(len)}, v)) static_cast<std::vector<std::uint64_t>*>(context)->push_back(v);
    };
    const int n = keyFileFindAll(handle_, key.data(), static_cast<int>(key.size()), collect, &offsets);
    return n < 1 ? StoreStatus::NotFound : StoreStatus::Ok;
}

bool KeyIndex::eachOffset(OffsetVisit visit, void* context) {
    if (!handle_) return false;
    struct Walk {
        OffsetVisit visit;
        void* context;
    } walk{visit, context};
    const auto each = [](void* w, const unsigned char* key, int keyLen, const char* data, int len) {
        const Walk& to = *static_cast<Walk*>(w);
        std::uint64_t v = 0;
        if (parseOffset({data, static_cast<size_t>(len)}, v))
            to.visit(to.context, std::string_view(reinterpret_cast<const char*>(key), static_cast<size_t>(keyLen)), v);
    };
    return keyFileEach(handle_, each, &walk) >= 0;
}

StoreStatus KeyIndex::read(std::string& data) {
    data.clear();
    if (!handle_) return StoreStatus::IndexReadFailed;
    // Data in this program are short decimal texts and status letters.
    char buffer[1024];
    const int n = keyFileRead(handle_, buffer, sizeof buffer);
    if (n < 1) return StoreStatus::IndexReadFailed;
    data.assign(buffer, static_cast<size_t>(n));
    return StoreStatus::Ok;
}

StoreStatus KeyIndex::first(std::string& key) {
    key.clear();
    if (!handle_) return StoreStatus::IndexEmpty;
    char buffer[256];
    int len = 0;
    if (keyFileFirst(handle_, buffer, &len) < 0) return StoreStatus::IndexEmpty;
    key.assign(buffer, static_cast<size_t>(len));
    return StoreStatus::Ok;
}

StoreStatus KeyIndex::next(std::string& key) {
    key.clear();
    if (!handle_) return StoreStatus::End;
    char buffer[256];
    int len = 0;
    if (keyFileNext(handle_, buffer, &len) < 0) return StoreStatus::End;
    key.assign(buffer, static_cast<size_t>(len));
    return StoreStatus::Ok;
}

StoreStatus KeyIndex::deleteCurrent() {
    if (!handle_) return StoreStatus::IndexDeleteFailed;
    ++generation_;
    return keyFileDelete(handle_) < 0 ? StoreStatus::IndexDeleteFailed : StoreStatus::Ok;
}

StoreStatus KeyIndex::updateCurrent(const std::string& data) {
    if (!handle_) return StoreStatus::IndexUpdateFailed;
    ++generation_;
    return keyFileUpdate(handle_, data.data(), static_cast<int>(data.size())) < 0 ? StoreStatus::IndexUpdateFailed
                                                                                  : StoreStatus::Ok;
}

}  // namespace quorvane
