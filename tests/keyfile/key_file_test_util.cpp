#include "key_file_test_util.h"

#include <gtest/gtest.h>

#include <fstream>

#include "keyfile/key_file_format.h"

namespace quorvane::testing {

void insertText(KeyFile* k, const std::string& key, const std::string& data) {
    ASSERT_EQ(keyFileInsert(k, key.data(), static_cast<int>(key.size()), data.data(), static_cast<int>(data.size())), 0)
        << "insert " << key << ": " << keyFileErrno();
}

KeyFile* createWith(const std::string& path, const Records& records) {
    KeyFile* k = keyFileCreate(path);
    if (!k) ADD_FAILURE() << "create " << path << ": " << keyFileErrno();
    else for (const auto& [key, data] : records) insertText(k, key, data);
    return k;
}

int findFirst(KeyFile* k, const std::string& key, std::string* found) {
    char buf[256];
    int len = 0;
    const int rc = keyFileFind(k, kFindFirstEqual, key.data(), static_cast<int>(key.size()), found ? buf : nullptr,
                               found ? &len : nullptr);
    if (found) found->assign(buf, rc >= 0 ? static_cast<size_t>(len) : 0);
    return rc;
}

std::string currentData(KeyFile* k) {
    std::string out(70000, '\0');
    const int n = keyFileRead(k, out.data(), 0);
    if (n < 0) return "<error " + std::to_string(keyFileErrno()) + ">";
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string nextData(KeyFile* k) {
    char key[256];
    int len = 0;
    return keyFileNext(k, key, &len) < 0 ? "<end>" : std::string(key, static_cast<size_t>(len)) + "=" + currentData(k);
}

std::vector<std::string> walkAll(KeyFile* k) {
    std::vector<std::string> out;
    char key[256];
    int keyLen = 0;
    for (int rc = keyFileFirst(k, key, &keyLen); rc >= 0; rc = keyFileNext(k, key, &keyLen)) {
        const std::string data = currentData(k);
        EXPECT_EQ(data.size(), static_cast<size_t>(rc));
        out.push_back(std::string(key, static_cast<size_t>(keyLen)) + "=" + data);
    }
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    return out;
}

std::string blockBytes(const std::string& path, unsigned n) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(n) * static_cast<std::streamoff>(keyfile::kBlockSize));
    std::string out(keyfile::kBlockSize, '\0');
    in.read(out.data(), static_cast<std::streamsize>(out.size()));
    out.resize(static_cast<size_t>(in.gcount()));
    return out;
}

void patchFile(const std::string& path, long offset, const std::string& bytes) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(offset);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good());
}

}  // namespace quorvane::testing
