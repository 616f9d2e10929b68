// The operations of the key file engine and their error codes; what the
// records hold through changes is the model test's.
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

using namespace testing;
using Lines = std::vector<std::string>;

TEST(KeyFileOperations, CreateRefusesAnExistingFileAndLeavesItAlone) {
    TempDir dir;
    const std::string path = dir.file("x.idx");
    writeFile(path, "precious");
    EXPECT_EQ(keyFileCreate(path), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfCreateFailed);
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_EQ(keyFileCreate(path + "/sub.idx"), nullptr);  // under a regular file
    EXPECT_EQ(keyFileErrno(), kKfCreateFailed);
    EXPECT_EQ(keyFileOpen(dir.file("missing.idx"), true), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfOpenFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.idx")));
}

// Equal keys spanning several leaves come back in insertion order, and no
// neighbour of them is visited.
TEST(KeyFileOperations, FindAllVisitsEveryEqualKeyAcrossLeaves) {
    TempDir dir;
    KeyFile* k = createWith(dir.file("all.idx"), {{"a", "before"}, {"dupe", "after"}, {"dun", "earlier"}});
    ASSERT_NE(k, nullptr);
    const int many = 3000 / kScale;
    Lines dups;
    for (int i = 0; i < many; ++i) insertText(k, "dup", dups.emplace_back(std::to_string(i)));
    // Many, the last key of the file, an absent key, one past every key, no key.
    const std::tuple<std::string, Lines, int> cases[] = {
        {"dup", dups, many}, {"dupe", {"after"}, 1}, {"b", {}, 0}, {"zzz", {}, 0}, {"", {}, -1}};
    for (const auto& [key, want, visited] : cases) {
        Lines got;
        const auto keep = [](void* to, const char* data, int len) { static_cast<Lines*>(to)->emplace_back(data, size_t(len)); };
        EXPECT_EQ(keyFileFindAll(k, key.data(), static_cast<int>(key.size()), keep, &got), visited) << key;
        EXPECT_EQ(got, want) << key;
    }
    EXPECT_EQ(keyFileErrno(), kKfBadKeyLength);
    EXPECT_EQ(nextData(k), "<end>");  // no record is current afterwards
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
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(keyFileFirst(k, key, &len), -1);  // a closed handle is no longer known
    EXPECT_EQ(keyFileErrno(), kKfNoKeyFile);
    EXPECT_STREQ(keyFileErrorText(kKfDamaged), "damaged key file or bad block number");

    k = keyFileOpen(dir.file("a.idx"), false);  // read-only: every change refused, nothing written
    const std::string before = readFile(dir.file("a.idx"));
    ASSERT_EQ(findFirst(k, "b"), 1);
    for (const std::function<int()>& change : {std::function<int()>([&] { return keyFileInsert(k, "k", 1, "d", 1); }),
                                                std::function<int()>([&] { return keyFileUpdate(k, "D", 1); }),
                                                std::function<int()>([&] { return keyFileDelete(k); })}) {
        EXPECT_EQ(change(), -1);
        EXPECT_EQ(keyFileErrno(), kKfNotForUpdate);
    }
    EXPECT_EQ(currentData(k), "x");
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_EQ(readFile(dir.file("a.idx")), before);
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
    const size_t full = readFile(path).size();
    EXPECT_GT(full, 40 * 4096u);
    for (int i = 0; i < 4000; ++i) {  // in an order that empties blocks in the middle first
        ASSERT_GE(findFirst(k, "key" + std::to_string(i * 31 % 4000)), 0) << i;
        ASSERT_EQ(keyFileDelete(k), 0) << i;
    }
    EXPECT_TRUE(walkAll(k).empty());
    fill();  // takes the freed blocks instead of growing the file
    ASSERT_EQ(keyFileClose(k), 0);
    EXPECT_LE(readFile(path).size(), full + 4 * 4096);
}

TEST(KeyFileOperations, ThreadsUseTheirOwnKeyFilesAtOnce) {
    TempDir dir;
    const int count = 3000 / kScale;
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
        *ok = good && walkAll(k).size() == size_t(count) && keyFileClose(k) == 0;
    };
    bool ok1 = false, ok2 = false;
    std::thread a(work, 1, &ok1), b(work, 2, &ok2);
    a.join();
    b.join();
    EXPECT_TRUE(ok1 && ok2);
}

}  // namespace
}  // namespace quorvane
