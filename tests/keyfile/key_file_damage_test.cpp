// Damaged files and failing disks: a clear error code, never a crash, a hang
// or a read out of bounds (run under the sanitizers), and no lost change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "key_file_test_util.h"
#include "keyfile/block_file.h"
#include "keyfile/key_file_format.h"

namespace quorvane {
namespace {

using namespace testing;
constexpr long kBlock = static_cast<long>(keyfile::kBlockSize);

std::string keyOf(int i) { return "system-" + std::to_string(i * 7919 % 100000); }
bool acceptable(int rc) { return rc >= 0 || keyFileErrno() == kKfNotFound || keyFileErrno() == kKfDamaged; }

// Reads every record by First and Next: only clean errors, and an end.
void walkCleanly(KeyFile* k) {
    char key[256], data[4096];
    int len = 0, steps = 0;
    for (int rc = keyFileFirst(k, key, &len); rc >= 0; rc = keyFileNext(k, key, &len)) {
        EXPECT_TRUE(acceptable(keyFileRead(k, data, sizeof data)));
        ASSERT_LT(++steps, 10000) << "walk does not end";
    }
    EXPECT_TRUE(acceptable(-1));
}

// Everything a program may do with an opened file; only clean errors allowed.
void exercise(const std::string& path) {
    KeyFile* k = keyFileOpen(path, true);
    EXPECT_TRUE(k || keyFileErrno() == kKfDamaged);
    if (!k) return;
    walkCleanly(k);
    for (int i = 0; i < 40; i += 3) {
        const int rc = findFirst(k, keyOf(i));
        EXPECT_TRUE(acceptable(rc));
        EXPECT_TRUE(rc < 0 || acceptable(i % 2 == 0 ? keyFileDelete(k) : keyFileUpdate(k, "changed data", 12)));
    }
    for (int i = 0; i < 200; ++i) {
        const std::string add = "added-" + std::to_string(i);
        EXPECT_TRUE(acceptable(keyFileInsert(k, add.data(), static_cast<int>(add.size()), "x", 1)));
    }
    keyFileClose(k);
}

struct FaultGuard {
    explicit FaultGuard(keyfile::BlockIoFault f) { keyfile::setBlockIoFaultForTesting(std::move(f)); }
    ~FaultGuard() { keyfile::setBlockIoFaultForTesting(nullptr); }
};

class KeyFileDamage : public ::testing::Test {
protected:
    TempDir dir;
    const std::string path = dir.file("d.idx");
    std::string pristine;  // the sample as written
    long blocks = 0;


    // A key file of three levels with the default count.
    void makeSample(int records = 3000) {
        KeyFile* k = keyFileCreate(path);
        ASSERT_NE(k, nullptr);
        for (int i = 0; i < records; ++i) insertText(k, keyOf(i), "data " + std::to_string(i));
        insertText(k, "long", std::string(3000, 'L'));
        ASSERT_EQ(keyFileClose(k), 0);
        pristine = readFile(path);
        blocks = static_cast<long>(pristine.size()) / kBlock;
    }
};

TEST_F(KeyFileDamage, EachTargetedDamageFailsWithDamaged) {
    makeSample();
    struct Case { const char* what; long at; std::string bytes; bool openFails; };  // at < 0: cut to -at bytes
    const Case cases[] = {
        {"not whole blocks", -(blocks * kBlock - 100), "", true},
        {"no data block", -kBlock, "", true},
        {"block 1 made a leaf", kBlock, std::string(1, '\0'), true},
        {"root made a free block", 0, "\xFE", true},
        {"root nentries huge", 9, "\x7F\xFF", false},
        {"root free past the end", 11, "\x10\x01", false},
        {"root item offset past free", kBlock - 2, "\x0F\xF0", false},
        {"root level beyond the tree", 0, "\x0C", false},
        {"leaf keycommon beyond its key", 2 * kBlock + 14, "\xFF", false},
        {"leaf next block beyond the file", 2 * kBlock + 1, std::string("\x7F\x00\x00\x00", 4), false},
        {"leaf chain back to itself", 2 * kBlock + 1, std::string("\x00\x00\x00\x02", 4), false},
        {"leaf number varint cut", 2 * kBlock + 15, "\xF0", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(path, pristine);
        if (c.at < 0) std::filesystem::resize_file(path, static_cast<uintmax_t>(-c.at));
        else patchFile(path, c.at, c.bytes);
        const std::string damaged = readFile(path);
        if (c.openFails) {
            for (const bool update : {true, false})
                EXPECT_TRUE(!keyFileOpen(path, update) && keyFileErrno() == kKfDamaged) << update;
            EXPECT_EQ(readFile(path), damaged);  // nothing written on the way
        } else if (KeyFile* k = keyFileOpen(path, false)) {
            walkCleanly(k);
            EXPECT_EQ(keyFileErrno(), kKfDamaged);  // the damage is met on the way
            keyFileClose(k);
        }
        exercise(path);
    }
}

TEST_F(KeyFileDamage, FailingWritesLoseNothingAndAreReported) {
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    for (int i = 0; i < 40; ++i) insertText(k, keyOf(i), "v" + std::to_string(i));
    {
        FaultGuard fault([](bool write, uint32_t) { return write ? ENOSPC : 0; });
        EXPECT_EQ(keyFileFlush(k), -1);
        EXPECT_EQ(keyFileErrno(), kKfWriteFailed);
        // With the cache over its limit, changes fail before they start.
        int rc = 0;
        for (int i = 40; i < 200000 && rc == 0; ++i) {
            const std::string key = keyOf(i);
            rc = keyFileInsert(k, key.data(), static_cast<int>(key.size()), std::string(40, 'd').data(), 40);
        }
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(keyFileErrno(), kKfWriteFailed);
    }
    const auto before = walkAll(k);
    ASSERT_EQ(keyFileClose(k), 0);  // the disk works again: everything is written
    k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(walkAll(k), before);
    ASSERT_EQ(keyFileClose(k), 0);
    // A create whose first write fails leaves no file behind.
    FaultGuard fault([](bool write, uint32_t) { return write ? EIO : 0; });
    EXPECT_EQ(keyFileCreate(dir.file("c.idx")), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfWriteFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.idx")));
}

// A delete changes its leaf in the cache, then fails reading a neighbour it
// would merge with: the leaf must come back whole, and so must the sorted
// keys the engine keeps for it, or finds would search a stale copy. Only a
// leaf at most half full looks at its neighbours, so consecutive keys are
// deleted, each with reads failing, until one delete needs a neighbour.
TEST_F(KeyFileDamage, FailedChangeRestoresTheCachedLeafAndItsKeys) {
    makeSample();
    KeyFile* k = keyFileOpen(path, true);
    ASSERT_NE(k, nullptr);
    auto expected = walkAll(k);
    const size_t at = expected.size() / 2;
    auto keyAt = [&](size_t i) { return expected[i].substr(0, expected[i].find('=')); };
    bool failed = false;
    while (!failed && at < expected.size()) {
        ASSERT_EQ(keyFileClose(k), 0);  // an empty cache: a neighbour must come from the disk
        ASSERT_NE(k = keyFileOpen(path, true), nullptr);
        ASSERT_GE(findFirst(k, keyAt(at)), 0);
        FaultGuard fault([](bool write, uint32_t) { return write ? 0 : EIO; });
        failed = keyFileDelete(k) != 0;
        if (!failed) expected.erase(expected.begin() + static_cast<long>(at));
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(keyFileErrno(), kKfReadFailed);
    for (size_t i = at - 10; i < std::min(expected.size(), at + 10); ++i) {
        ASSERT_GE(findFirst(k, keyAt(i)), 0) << keyAt(i);
        EXPECT_EQ(keyAt(i) + "=" + currentData(k), expected[i]);
    }
    EXPECT_EQ(walkAll(k), expected);
    ASSERT_EQ(keyFileClose(k), 0);
}

}  // namespace
}  // namespace quorvane
