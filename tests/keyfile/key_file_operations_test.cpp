// The operations of the key file engine and their error codes.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "key_file_test_util.h"
#include "keyfile/key_file.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::currentData;
using testing::insertText;
using testing::TempDir;
using testing::walkAll;

int find(KeyFile* k, const std::string& key) {
    return keyFileFind(k, kFindFirstEqual, key.data(), static_cast<int>(key.size()), nullptr, nullptr);
}

std::string nextData(KeyFile* k) {
    char key[256];
    int len = 0;
    if (keyFileNext(k, key, &len) < 0) return "<end>";
    return std::string(key, static_cast<size_t>(len)) + "=" + currentData(k);
}

TEST(KeyFileOperations, CreateRefusesAnExistingFileAndLeavesItAlone) {
    TempDir dir;
    const std::string path = dir.file("x.idx");
    testing::writeFile(path, "precious");
    EXPECT_EQ(keyFileCreate(path), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfCreateFailed);
    EXPECT_EQ(testing::readFile(path), "precious");
    // A path under a regular file cannot be made.
    EXPECT_EQ(keyFileCreate(path + "/sub.idx"), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfCreateFailed);
    EXPECT_EQ(keyFileOpen(dir.file("missing.idx"), true), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfOpenFailed);
    EXPECT_FALSE(std::ifstream(dir.file("missing.idx")).good());
}

TEST(KeyFileOperations, EqualKeysComeBackInInsertionOrder) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("dup.idx"));
    ASSERT_NE(k, nullptr);
    insertText(k, "sys", "1");
    insertText(k, "sys", "2");
    insertText(k, "sys", "3");
    ASSERT_EQ(find(k, "sys"), 1);
    EXPECT_EQ(currentData(k), "1");
    EXPECT_EQ(nextData(k), "sys=2");
    EXPECT_EQ(nextData(k), "sys=3");
    EXPECT_EQ(nextData(k), "<end>");
    EXPECT_EQ(keyFileErrno(), kKfNotFound);

    // Thousands of duplicates spread over many blocks, with other keys
    // around them, keep their order through splits.
    for (int i = 0; i < 3000; ++i) {
        insertText(k, "m" + std::to_string(i % 7), std::to_string(i));
        insertText(k, "dup", std::to_string(i));
    }
    ASSERT_EQ(find(k, "dup"), 1);
    EXPECT_EQ(currentData(k), "0");
    for (int i = 1; i < 3000; ++i) ASSERT_EQ(nextData(k), "dup=" + std::to_string(i));
    EXPECT_EQ(nextData(k).substr(0, 3), "m0=");
    ASSERT_EQ(find(k, "m3"), 1);
    EXPECT_EQ(currentData(k), "3");
    ASSERT_EQ(keyFileClose(k), 0);
}

std::vector<std::string> findAll(KeyFile* k, const std::string& key, int* visited) {
    std::vector<std::string> out;
    *visited = keyFileFindAll(
        k, key.data(), static_cast<int>(key.size()),
        [](void* context, const char* data, int len) {
            static_cast<std::vector<std::string>*>(context)->emplace_back(data, static_cast<size_t>(len));
        },
        &out);
    return out;
}

TEST(KeyFileOperations, FindAllVisitsEveryEqualKeyAcrossLeaves) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("all.idx"));
    ASSERT_NE(k, nullptr);
    // Enough equal keys to span several leaves, between neighbours that must not be visited.
    const int many = 3000 / testing::kScale;
    insertText(k, "a", "before");
    for (int i = 0; i < many; ++i) insertText(k, "dup", std::to_string(i));
    insertText(k, "dupe", "after");
    insertText(k, "dun", "earlier");
    int visited = -2;
    const std::vector<std::string> all = findAll(k, "dup", &visited);
    ASSERT_EQ(visited, many);
    ASSERT_EQ(all.size(), static_cast<size_t>(many));
    for (int i = 0; i < many; ++i) EXPECT_EQ(all[static_cast<size_t>(i)], std::to_string(i));
    // The last key of the file, an absent key, and one past every key.
    EXPECT_EQ(findAll(k, "dupe", &visited), std::vector<std::string>{"after"});
    EXPECT_EQ(visited, 1);
    EXPECT_TRUE(findAll(k, "b", &visited).empty());
    EXPECT_EQ(visited, 0);
    EXPECT_TRUE(findAll(k, "zzz", &visited).empty());
    EXPECT_EQ(visited, 0);
    EXPECT_TRUE(findAll(k, "", &visited).empty());
    EXPECT_EQ(visited, -1);
    EXPECT_EQ(keyFileErrno(), kKfBadKeyLength);
    // No record is current afterwards.
    char key[256];
    int len = 0;
    EXPECT_LT(keyFileNext(k, key, &len), 0);
    EXPECT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, AbsentKeyLeavesNoCurrentRecord) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("a.idx"));
    ASSERT_NE(k, nullptr);
    char key[256];
    int len = -1;
    EXPECT_EQ(keyFileFirst(k, key, &len), -1);  // only the identifying record
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    insertText(k, "b", "x");
    insertText(k, "d", "y");
    EXPECT_EQ(find(k, "c"), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    EXPECT_EQ(keyFileNext(k, key, &len), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    EXPECT_EQ(keyFileRead(k, key, 0), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    EXPECT_EQ(keyFileDelete(k), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    EXPECT_EQ(find(k, "e"), -1);   // past the last key
    EXPECT_EQ(find(k, "bb"), -1);  // between, sharing a prefix
    EXPECT_EQ(find(k, "d"), 1);
    EXPECT_EQ(keyFileErrno(), kKfOk);  // cleared by each operation
    ASSERT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, ArgumentsAreChecked) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("args.idx"));
    ASSERT_NE(k, nullptr);
    const std::string k256(256, 'k'), k255(255, 'k');
    EXPECT_EQ(keyFileInsert(k, k256.data(), 256, "d", 1), -1);
    EXPECT_EQ(keyFileErrno(), kKfBadKeyLength);
    EXPECT_EQ(keyFileInsert(k, "", 0, "d", 1), -1);
    EXPECT_EQ(keyFileErrno(), kKfBadKeyLength);
    EXPECT_EQ(keyFileInsert(k, "k", 1, "d", -1), -1);
    EXPECT_EQ(keyFileErrno(), kKfNegativeDataLength);
    EXPECT_EQ(keyFileInsert(k, "k", 1, nullptr, 3), -1);
    EXPECT_EQ(keyFileErrno(), kKfNoData);
    EXPECT_EQ(keyFileInsert(k, k255.data(), 255, "d", 1), 0);
    EXPECT_EQ(keyFileInsert(k, "empty", 5, nullptr, 0), 0);
    char key[256];
    int len = 0;
    ASSERT_EQ(keyFileFind(k, kFindFirstEqual, k255.data(), 255, key, &len), 1);
    EXPECT_EQ(std::string(key, static_cast<size_t>(len)), k255);
    EXPECT_EQ(find(k, "empty"), 0);
    EXPECT_EQ(keyFileRead(k, nullptr, 0), 0);
    EXPECT_EQ(keyFileFind(k, kFindFirstEqual, k256.data(), 256, nullptr, nullptr), -1);
    EXPECT_EQ(keyFileErrno(), kKfBadKeyLength);

    EXPECT_EQ(keyFileInsert(nullptr, "k", 1, "d", 1), -1);
    EXPECT_EQ(keyFileErrno(), kKfNoKeyFile);
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(keyFileFirst(k, key, &len), -1);  // a closed handle is no longer known
    EXPECT_EQ(keyFileErrno(), kKfNoKeyFile);
    EXPECT_STREQ(keyFileErrorText(kKfDamaged), "damaged key file or bad block number");
}

TEST(KeyFileOperations, ReadOnlyKeyFileRefusesChanges) {
    TempDir dir;
    const std::string path = dir.file("ro.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    insertText(k, "key", "data");
    ASSERT_EQ(keyFileClose(k), 0);
    const std::string before = testing::readFile(path);

    k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(keyFileInsert(k, "k", 1, "d", 1), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    ASSERT_EQ(find(k, "key"), 4);
    EXPECT_EQ(keyFileUpdate(k, "DATA", 4), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    EXPECT_EQ(keyFileDelete(k), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    EXPECT_EQ(currentData(k), "data");
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(testing::readFile(path), before);
}

TEST(KeyFileOperations, UpdateKeepsPlaceOnlyForTheSameLength) {
    TempDir dir;
    const std::string path = dir.file("up.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    insertText(k, "s", "A1");
    insertText(k, "s", "B1");
    insertText(k, "s", "C1");
    insertText(k, "t", std::string(3000, 'x'));
    ASSERT_EQ(find(k, "s"), 2);
    ASSERT_EQ(keyFileUpdate(k, "a1", 2), 0);  // same length: in place
    EXPECT_EQ(currentData(k), "a1");
    EXPECT_EQ(nextData(k), "s=B1");
    ASSERT_EQ(keyFileUpdate(k, "b22", 3), 0);  // new length: after all s
    EXPECT_EQ(currentData(k), "b22");
    EXPECT_EQ(nextData(k), "t=" + std::string(3000, 'x'));
    ASSERT_EQ(keyFileUpdate(k, std::string(3000, 'y').data(), 3000), 0);  // long data in place
    ASSERT_EQ(keyFileUpdate(k, "", 0), 0);                                 // long to empty
    EXPECT_EQ(walkAll(k), (std::vector<std::string>{"s=a1", "s=C1", "s=b22", "t="}));
    ASSERT_EQ(find(k, "s"), 2);
    char small[1];
    EXPECT_EQ(keyFileRead(k, small, 1), 1);  // a short buffer gets a prefix
    EXPECT_EQ(small[0], 'a');
    ASSERT_EQ(keyFileClose(k), 0);
    k = keyFileOpen(path, true);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(walkAll(k), (std::vector<std::string>{"s=a1", "s=C1", "s=b22", "t="}));
    ASSERT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, DeletedBlocksAreFreedAndReused) {
    TempDir dir;
    const std::string path = dir.file("del.idx");
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    auto fill = [&] {
        for (int i = 0; i < 4000; ++i) insertText(k, "key" + std::to_string(i * 7919 % 4000), std::string(40, 'v'));
    };
    fill();
    ASSERT_EQ(keyFileFlush(k), 0);
    const size_t full = testing::readFile(path).size();
    EXPECT_GT(full, 40 * 4096u);
    // Delete everything, in an order that empties blocks in the middle first.
    for (int i = 0; i < 4000; ++i) {
        const std::string key = "key" + std::to_string(i * 31 % 4000);
        ASSERT_GE(find(k, key), 0) << key;
        ASSERT_EQ(keyFileDelete(k), 0) << key;
        EXPECT_EQ(find(k, key), -1);
    }
    EXPECT_TRUE(walkAll(k).empty());
    // Refilling takes the freed blocks instead of growing the file.
    fill();
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_LE(testing::readFile(path).size(), full + 4 * 4096);
    k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(walkAll(k).size(), 4000u);
    ASSERT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, ThreadsUseTheirOwnKeyFilesAtOnce) {
    TempDir dir;
    auto work = [&](int id, bool* ok) {
        KeyFile* k = keyFileCreate(dir.file("t" + std::to_string(id) + ".idx"));
        if (!k) return;
        bool good = true;
        for (int i = 0; i < 3000 / testing::kScale; ++i) {
            const std::string key = std::to_string(id) + ":" + std::to_string(i % 97);
            good &= keyFileInsert(k, key.data(), static_cast<int>(key.size()), "x", 1) == 0;
            good &= keyFileFind(k, 9, key.data(), static_cast<int>(key.size()), nullptr, nullptr) == -1 &&
                    keyFileErrno() == kKfStateError;  // the error stays with this thread
        }
        int n = 0;
        char key[256];
        int len;
        for (int rc = keyFileFirst(k, key, &len); rc >= 0; rc = keyFileNext(k, key, &len)) ++n;
        *ok = good && n == 3000 / testing::kScale && keyFileClose(k) == 0;
    };
    bool ok1 = false, ok2 = false;
    std::thread a(work, 1, &ok1), b(work, 2, &ok2);
    a.join();
    b.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
}

}  // namespace
}  // namespace quorvane
