// Helpers shared by the key file tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "keyfile/key_file.h"
#include "support/temp_dir.h"

namespace quorvane::testing {

using Records = std::vector<std::pair<std::string, std::string>>;

// Inserts a record given as texts; fails the test on error.
inline void insertText(KeyFile* k, const std::string& key, const std::string& data) {
    ASSERT_EQ(keyFileInsert(k, key.data(), static_cast<int>(key.size()), data.data(), static_cast<int>(data.size())), 0)
        << "insert " << key << ": " << keyFileErrno();
}

// A new key file at `path` holding the records, left open (null on failure).
inline KeyFile* createWith(const std::string& path, const Records& records) {
    KeyFile* k = keyFileCreate(path);
    if (!k) ADD_FAILURE() << "create " << path << ": " << keyFileErrno();
    else for (const auto& [key, data] : records) insertText(k, key, data);
    return k;
}

// The first record of `key`: its data length, or -1; the key found goes to `found` when given.
inline int findFirst(KeyFile* k, const std::string& key, std::string* found = nullptr) {
    char buf[256];
    int len = 0;
    const int rc = keyFileFind(k, kFindFirstEqual, key.data(), static_cast<int>(key.size()), found ? buf : nullptr,
                               found ? &len : nullptr);
    if (found) found->assign(buf, rc >= 0 ? static_cast<size_t>(len) : 0);
    return rc;
}

inline std::string currentData(KeyFile* k) {
    std::string out(70000, '\0');
    const int n = keyFileRead(k, out.data(), 0);
    return n < 0 ? "<error " + std::to_string(keyFileErrno()) + ">" : out.substr(0, static_cast<size_t>(n));
}

// The next record as "key=data", or "<end>".
inline std::string nextData(KeyFile* k) {
    char key[256];
    int len = 0;
    return keyFileNext(k, key, &len) < 0 ? "<end>" : std::string(key, static_cast<size_t>(len)) + "=" + currentData(k);
}

// Every record in key order as "key=data", by First and Next.
inline std::vector<std::string> walkAll(KeyFile* k) {
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

inline void patchFile(const std::string& path, long offset, const std::string& bytes) {
    std::string content = readFile(path);
    writeFile(path, content.replace(static_cast<size_t>(offset), bytes.size(), bytes));
}

// Counts scaled down under the sanitizers, so the suite stays quick there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kScale = 6;
#else
inline constexpr int kScale = 1;
#endif

}  // namespace quorvane::testing
