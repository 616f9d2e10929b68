// The operations of the key file engine and their error codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "key_file_test_util.h"
#include "keyfile/key_file.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::currentData;
using testing::findFirst;
using testing::insertText;
using testing::nextData;
using testing::TempDir;
using testing::walkAll;
using Lines = std::vector<std::string>;

TEST(KeyFileOperations, CreateRefusesAnExistingFileAndLeavesItAlone) {
    TempDir dir;
    const std::string path = dir.file("x.idx");
    testing::writeFile(path, "precious");
    EXPECT_EQ(keyFileCreate(path), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfCreateFailed);
    EXPECT_EQ(testing::readFile(path), "precious");
    EXPECT_EQ(keyFileCreate(path + "/sub.idx"), nullptr);  // under a regular file
    EXPECT_EQ(keyFileErrno(), kKfCreateFailed);
    EXPECT_EQ(keyFileOpen(dir.file("missing.idx"), true), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfOpenFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.idx")));
}

// Thousands of duplicates spread over many blocks, with other keys around
// them, keep their order through splits.
TEST(KeyFileOperations, EqualKeysComeBackInInsertionOrder) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("dup.idx"));
    ASSERT_NE(k, nullptr);
    for (int i = 0; i < 3000; ++i) {
        insertText(k, "m" + std::to_string(i % 7), std::to_string(i));
        insertText(k, "dup", std::to_string(i));
    }
    ASSERT_EQ(findFirst(k, "dup"), 1);
    EXPECT_EQ(currentData(k), "0");
    for (int i = 1; i < 3000; ++i) ASSERT_EQ(nextData(k), "dup=" + std::to_string(i));
    EXPECT_EQ(nextData(k).substr(0, 3), "m0=");
    ASSERT_EQ(findFirst(k, "m6"), 1);
    EXPECT_EQ(currentData(k), "6");
    for (int i = 13; i < 3000; i += 7) ASSERT_EQ(nextData(k), "m6=" + std::to_string(i));
    EXPECT_EQ(nextData(k), "<end>");
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    ASSERT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, FindAllVisitsEveryEqualKeyAcrossLeaves) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("all.idx"));
    ASSERT_NE(k, nullptr);
    // Enough equal keys to span several leaves, between neighbours that must not be visited.
    const int many = 3000 / testing::kScale;
    insertText(k, "a", "before");
    Lines dups;
    for (int i = 0; i < many; ++i) {
        dups.push_back(std::to_string(i));
        insertText(k, "dup", dups.back());
    }
    insertText(k, "dupe", "after");
    insertText(k, "dun", "earlier");
    // Many, the last key of the file, an absent key, one past every key, no key.
    const std::tuple<std::string, Lines, int> cases[] = {
        {"dup", dups, many}, {"dupe", {"after"}, 1}, {"b", {}, 0}, {"zzz", {}, 0}, {"", {}, -1}};
    for (const auto& [key, want, visited] : cases) {
        Lines got;
        const auto keep = [](void* to, const char* data, int len) {
            static_cast<Lines*>(to)->emplace_back(data, static_cast<size_t>(len));
        };
        EXPECT_EQ(keyFileFindAll(k, key.data(), static_cast<int>(key.size()), keep, &got), visited) << key;
        EXPECT_EQ(got, want) << key;
    }
    EXPECT_EQ(keyFileErrno(), kKfBadKeyLength);
    char key[256];
    int len = 0;
    EXPECT_LT(keyFileNext(k, key, &len), 0);  // no record is current afterwards
    EXPECT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, EachRefusalSetsItsErrorCode) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("a.idx"));
    ASSERT_NE(k, nullptr);
    char key[256];
    int len = -1;
    EXPECT_EQ(keyFileFirst(k, key, &len), -1);  // only the identifying record
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    insertText(k, "b", "x");
    insertText(k, "d", "y");
    const std::string k256(256, 'k'), k255(255, 'k');
    // In order: an absent key leaves no current record for the calls after it.
    const std::tuple<const char*, std::function<int()>, int> cases[] = {
        {"find between", [&] { return findFirst(k, "c"); }, kKfNotFound},
        {"next", [&] { return keyFileNext(k, key, &len); }, kKfNotFound},
        {"read", [&] { return keyFileRead(k, key, 0); }, kKfNotFound},
        {"delete", [&] { return keyFileDelete(k); }, kKfNotFound},
        {"find past the last key", [&] { return findFirst(k, "e"); }, kKfNotFound},
        {"find sharing a prefix", [&] { return findFirst(k, "bb"); }, kKfNotFound},
        {"insert a key of 256", [&] { return keyFileInsert(k, k256.data(), 256, "d", 1); }, kKfBadKeyLength},
        {"insert no key", [&] { return keyFileInsert(k, "", 0, "d", 1); }, kKfBadKeyLength},
        {"insert a negative length", [&] { return keyFileInsert(k, "k", 1, "d", -1); }, kKfNegativeDataLength},
        {"insert no data", [&] { return keyFileInsert(k, "k", 1, nullptr, 3); }, kKfNoData},
        {"find a key of 256", [&] { return findFirst(k, k256); }, kKfBadKeyLength},
        {"no key file", [] { return keyFileInsert(nullptr, "k", 1, "d", 1); }, kKfNoKeyFile},
    };
    for (const auto& [what, call, error] : cases) {
        EXPECT_EQ(call(), -1) << what;
        EXPECT_EQ(keyFileErrno(), error) << what;
    }
    EXPECT_EQ(findFirst(k, "d"), 1);
    EXPECT_EQ(keyFileErrno(), kKfOk);  // cleared by each operation
    // The edges that are accepted.
    EXPECT_EQ(keyFileInsert(k, k255.data(), 255, "d", 1), 0);
    EXPECT_EQ(keyFileInsert(k, "empty", 5, nullptr, 0), 0);
    std::string found;
    ASSERT_EQ(findFirst(k, k255, &found), 1);
    EXPECT_EQ(found, k255);
    EXPECT_EQ(findFirst(k, "empty"), 0);
    EXPECT_EQ(keyFileRead(k, nullptr, 0), 0);
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(keyFileFirst(k, key, &len), -1);  // a closed handle is no longer known
    EXPECT_EQ(keyFileErrno(), kKfNoKeyFile);
    EXPECT_STREQ(keyFileErrorText(kKfDamaged), "damaged key file or bad block number");
}

TEST(KeyFileOperations, ReadOnlyKeyFileRefusesChanges) {
    TempDir dir;
    const std::string path = dir.file("ro.idx");
    ASSERT_EQ(keyFileClose(testing::createWith(path, {{"key", "data"}})), 0);
    const std::string before = testing::readFile(path);

    KeyFile* k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(keyFileInsert(k, "k", 1, "d", 1), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    ASSERT_EQ(findFirst(k, "key"), 4);
    EXPECT_EQ(keyFileUpdate(k, "DATA", 4), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    EXPECT_EQ(keyFileDelete(k), -1);
    EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    EXPECT_EQ(currentData(k), "data");
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(testing::readFile(path), before);
}

// Where an update leaves the record is the model test's; here, data moving
// between inline and data blocks, and a read into a short buffer.
TEST(KeyFileOperations, UpdateMovesDataBetweenInlineAndDataBlocks) {
    TempDir dir;
    const std::string path = dir.file("up.idx");
    KeyFile* k = testing::createWith(path, {{"s", "a1"}, {"t", std::string(3000, 'x')}});
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(findFirst(k, "t"), 3000);
    ASSERT_EQ(keyFileUpdate(k, std::string(3000, 'y').data(), 3000), 0);  // long data in place
    EXPECT_EQ(currentData(k), std::string(3000, 'y'));
    ASSERT_EQ(keyFileUpdate(k, "", 0), 0);  // long to empty
    ASSERT_EQ(findFirst(k, "s"), 2);
    ASSERT_EQ(keyFileUpdate(k, std::string(2000, 'z').data(), 2000), 0);  // short to long
    char small[1];
    EXPECT_EQ(keyFileRead(k, small, 1), 1);  // a short buffer gets a prefix
    EXPECT_EQ(small[0], 'z');
    ASSERT_EQ(keyFileClose(k), 0);
    k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(walkAll(k), (Lines{"s=" + std::string(2000, 'z'), "t="}));
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
        ASSERT_GE(findFirst(k, key), 0) << key;
        ASSERT_EQ(keyFileDelete(k), 0) << key;
        EXPECT_EQ(findFirst(k, key), -1);
    }
    EXPECT_TRUE(walkAll(k).empty());
    fill();  // takes the freed blocks instead of growing the file
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_LE(testing::readFile(path).size(), full + 4 * 4096);
    k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(walkAll(k).size(), 4000u);
    ASSERT_EQ(keyFileClose(k), 0);
}

TEST(KeyFileOperations, ThreadsUseTheirOwnKeyFilesAtOnce) {
    TempDir dir;
    const int count = 3000 / testing::kScale;
    auto work = [&](int id, bool* ok) {
        KeyFile* k = keyFileCreate(dir.file("t" + std::to_string(id) + ".idx"));
        if (!k) return;
        bool good = true;
        for (int i = 0; i < count; ++i) {
            const std::string key = std::to_string(id) + ":" + std::to_string(i % 97);
            good &= keyFileInsert(k, key.data(), static_cast<int>(key.size()), "x", 1) == 0;
            good &= keyFileFind(k, 9, key.data(), static_cast<int>(key.size()), nullptr, nullptr) == -1 &&
                    keyFileErrno() == kKfStateError;  // the error stays with this thread
        }
        int n = 0;
        char key[256];
        int len;
        for (int rc = keyFileFirst(k, key, &len); rc >= 0; rc = keyFileNext(k, key, &len)) ++n;
        *ok = good && n == count && keyFileClose(k) == 0;
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
