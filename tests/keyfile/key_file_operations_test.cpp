// The operations of the key file engine and their error codes; what the
// records hold through changes is the model test's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>

#include "key_file_test_util.h"
#include "keyfile/key_file_internal.h"

namespace quorvane {
namespace {

using namespace testing;

TEST(KeyFileOperations, EachRefusalSetsItsErrorCode) {
    TempDir dir;
    KeyFile* k = keyFileCreate(dir.file("a.idx"));
    ASSERT_NE(k, nullptr);
    writeFile(dir.file("x.idx"), "precious");
    auto made = [](KeyFile* created) { return created ? 0 : -1; };
    char key[256];
    int len = -1;
    EXPECT_EQ(keyFileFirst(k, key, &len), -1);  // only the identifying record
    EXPECT_EQ(keyFileErrno(), kKfNotFound);
    insertText(k, "b", "x");
    insertText(k, "d", "y");
    const std::string k256(256, 'k'), k255(255, 'k');
    // In order: an absent key leaves no current record for the calls after it.
    const std::tuple<const char*, std::function<int()>, int> cases[] = {
        {"create over a file", [&] { return made(keyFileCreate(dir.file("x.idx"))); }, kKfCreateFailed},
        {"create under a file", [&] { return made(keyFileCreate(dir.file("x.idx/sub.idx"))); }, kKfCreateFailed},
        {"open a missing file", [&] { return made(keyFileOpen(dir.file("missing.idx"), true)); }, kKfOpenFailed},
        {"find between", [&] { return findFirst(k, "c"); }, kKfNotFound},
        {"next", [&] { return keyFileNext(k, key, &len); }, kKfNotFound},
        {"read", [&] { return keyFileRead(k, key, 0); }, kKfNotFound},
        {"delete", [&] { return keyFileDelete(k); }, kKfNotFound},
        {"find sharing a prefix", [&] { return findFirst(k, "bb"); }, kKfNotFound},
        {"insert a key of 256", [&] { return keyFileInsert(k, k256.data(), 256, "d", 1); }, kKfBadKeyLength},
        {"insert no key", [&] { return keyFileInsert(k, "", 0, "d", 1); }, kKfBadKeyLength},
        {"insert a negative length", [&] { return keyFileInsert(k, "k", 1, "d", -1); }, kKfNegativeDataLength},
        {"insert no data", [&] { return keyFileInsert(k, "k", 1, nullptr, 3); }, kKfNoData},
        {"find a key of 256", [&] { return findFirst(k, k256); }, kKfBadKeyLength},
        {"find all of no key", [&] { return keyFileFindAll(k, "", 0, nullptr, nullptr); }, kKfBadKeyLength},
        {"no key file", [] { return keyFileInsert(nullptr, "k", 1, "d", 1); }, kKfNoKeyFile},
    };
    for (const auto& [what, call, error] : cases) {
        EXPECT_EQ(call(), -1) << what;
        EXPECT_EQ(keyFileErrno(), error) << what;
    }
    EXPECT_EQ(readFile(dir.file("x.idx")), "precious");
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing.idx")));
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

// Two threads at once, each on its own key file, the error code staying with its thread.
TEST(KeyFileOperations, ThreadsUseTheirOwnKeyFiles) {
    TempDir dir;
    const int count = 4000 / kScale;
    auto work = [&](int id, bool* ok) {
        KeyFile* k = keyFileCreate(dir.file("t" + std::to_string(id) + ".idx"));
        bool good = k != nullptr;
        for (int i = 0; good && i < count; ++i) {
            const std::string key = "key" + std::to_string(i * 7919 % count);
            good = keyFileInsert(k, key.data(), static_cast<int>(key.size()), "v", 1) == 0 &&
                   keyFileFind(k, 9, "k", 1, nullptr, nullptr) == -1 && keyFileErrno() == kKfStateError;
        }
        *ok = good && walkAll(k).size() == size_t(count) && keyFileClose(k) == 0;
    };
    bool ok1 = false, ok2 = false;
    std::thread a(work, 1, &ok1), b(work, 2, &ok2);
    a.join();
    b.join();
    EXPECT_TRUE(ok1 && ok2);
}

// A walk over every record of one key (a system's rows in a catalogue of
// millions) keeps to the cache's limit: the leaves it has left are not held.
TEST(KeyFileOperations, FindAllOverManyLeavesKeepsTheCacheBounded) {
    TempDir dir;
    keyfile::setCachePerKeyFileForTesting(16);
    KeyFile* k = keyFileCreate(dir.file("a.idx"));
    ASSERT_NE(k, nullptr);
    for (int i = 0; i < 20000; ++i) insertText(k, "system", std::to_string(1000000 + i));
    insertText(k, "t", "after");
    ASSERT_EQ(keyFileClose(k), 0);
    k = keyFileOpen(dir.file("a.idx"), false);
    ASSERT_NE(k, nullptr);
    struct Seen {
        int records = 0;
        size_t mostCached = 0;
        bool inOrder = true;
    } seen;
    const auto visit = [](void* to, const char* d, int n) {
        auto& s = *static_cast<Seen*>(to);
        s.inOrder = s.inOrder && std::string(d, static_cast<size_t>(n)) == std::to_string(1000000 + s.records);
        ++s.records;
        s.mostCached = std::max(s.mostCached, keyfile::engine().cache.size());
    };
    EXPECT_EQ(keyFileFindAll(k, "system", 6, visit, &seen), 20000);
    EXPECT_EQ(seen.records, 20000);
    EXPECT_TRUE(seen.inOrder);
    // 16 for the file and 8 for all: far fewer than the leaves crossed.
    EXPECT_LE(seen.mostCached, 24u);
    EXPECT_EQ(keyFileClose(k), 0);
    keyfile::setCachePerKeyFileForTesting(0);
}

}  // namespace
}  // namespace quorvane
