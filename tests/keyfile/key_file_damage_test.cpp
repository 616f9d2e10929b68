// Damaged files and failing disks: a clear error code, never a crash, a hang
// or a read out of bounds (run under the sanitizers), and no lost change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "key_file_test_util.h"
#include "keyfile/block_file.h"
#include "keyfile/key_file.h"
#include "keyfile/key_file_format.h"
#include "keyfile/key_file_internal.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::insertText;
using testing::patchFile;
using testing::TempDir;
using testing::walkAll;

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
    if (!k) {
        EXPECT_EQ(keyFileErrno(), kKfDamaged);
        return;
    }
    walkCleanly(k);
    for (int i = 0; i < 40; i += 3) {
        std::string found;
        const int rc = testing::findFirst(k, keyOf(i), &found);
        EXPECT_TRUE(acceptable(rc));
        if (rc >= 0) {
            EXPECT_TRUE(acceptable(i % 2 == 0 ? keyFileDelete(k) : keyFileUpdate(k, "changed data", 12)));
        }
    }
    for (int i = 0; i < 200; ++i) {
        const std::string add = "added-" + std::to_string(i);
        EXPECT_TRUE(acceptable(keyFileInsert(k, add.data(), static_cast<int>(add.size()), "x", 1)));
    }
    keyFileClose(k);
}

class KeyFileDamage : public ::testing::Test {
protected:
    TempDir dir;
    const std::string path = dir.file("d.idx");
    std::string pristine;  // the sample as written
    long blocks = 0;

    void TearDown() override { keyfile::setCachePerKeyFileForTesting(0); }

    // A key file of three levels with the default count.
    void makeSample(int records = 3000) {
        KeyFile* k = keyFileCreate(path);
        ASSERT_NE(k, nullptr);
        for (int i = 0; i < records; ++i) insertText(k, keyOf(i), "data " + std::to_string(i));
        insertText(k, "long", std::string(3000, 'L'));
        ASSERT_EQ(keyFileClose(k), 0);
        pristine = testing::readFile(path);
        blocks = static_cast<long>(pristine.size()) / kBlock;
    }
};

TEST_F(KeyFileDamage, WrongLengthsAndWrongBlockKinds) {
    makeSample(50);
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"not whole blocks", [&] { std::filesystem::resize_file(path, 2 * kBlock + 100); }},
        {"no data block", [&] { std::filesystem::resize_file(path, kBlock); }},
        {"block 1 made a leaf", [&] { patchFile(path, kBlock, std::string(1, '\0')); }},
        {"root made a free block", [&] { patchFile(path, 0, std::string(1, '\xFE')); }},
    };
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        testing::writeFile(path, pristine);
        damage();
        const std::string damaged = testing::readFile(path);
        for (const bool forUpdate : {true, false}) {
            EXPECT_EQ(keyFileOpen(path, forUpdate), nullptr);
            EXPECT_EQ(keyFileErrno(), kKfDamaged);
        }
        EXPECT_EQ(testing::readFile(path), damaged);  // nothing written on the way
    }
}

TEST_F(KeyFileDamage, BadItemsAndLinksFailWithDamaged) {
    makeSample();
    struct Case {
        const char* what;
        long offset;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"root nentries huge", 9, std::string("\x7F\xFF", 2)},
        {"root free past the end", 11, std::string("\x10\x01", 2)},
        {"root item offset past free", kBlock - 2, std::string("\x0F\xF0", 2)},
        {"root level beyond the tree", 0, std::string(1, '\x0C')},
        {"leaf keycommon beyond its key", 2 * kBlock + 13 + 1, std::string(1, '\xFF')},
        {"leaf next block beyond the file", 2 * kBlock + 1, std::string("\x7F\x00\x00\x00", 4)},
        {"leaf chain back to itself", 2 * kBlock + 1, std::string("\x00\x00\x00\x02", 4)},
        {"leaf number varint cut", 2 * kBlock + 13 + 2, std::string(1, '\xF0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::writeFile(path, pristine);
        patchFile(path, c.offset, c.bytes);
        exercise(path);
        if (KeyFile* k = keyFileOpen(path, false)) {
            char key[256];
            int len, steps = 0;
            for (int rc = keyFileFirst(k, key, &len); rc >= 0 && ++steps < 10000;) rc = keyFileNext(k, key, &len);
            EXPECT_EQ(keyFileErrno(), kKfDamaged);  // the damage is met on the way
            keyFileClose(k);
        }
    }
}

TEST_F(KeyFileDamage, FlippedBytesAnywhereNeverCrash) {
    makeSample(400);
    std::mt19937 rng(4);
    const int rounds = 240 / testing::kScale;
    for (int round = 0; round < rounds; ++round) {
        testing::writeFile(path, pristine);
        const long block = std::uniform_int_distribution<long>(0, blocks - 1)(rng);
        // Headers and the index are where a flip does the most harm.
        const int zone = round % 3;
        const long within = zone == 0   ? std::uniform_int_distribution<long>(0, 12)(rng)
                            : zone == 1 ? std::uniform_int_distribution<long>(kBlock - 64, kBlock - 1)(rng)
                                        : std::uniform_int_distribution<long>(13, 300)(rng);
        const char flipped = static_cast<char>(pristine[static_cast<size_t>(block * kBlock + within)] ^
                                               (1 << std::uniform_int_distribution<int>(0, 7)(rng)));
        SCOPED_TRACE("block " + std::to_string(block) + " byte " + std::to_string(within));
        patchFile(path, block * kBlock + within, std::string(1, flipped));
        exercise(path);
    }
}

// A block read back after its full check gets only the checks that keep
// reads in bounds; one changed on disk behind the program's back in between
// must still end in clean errors. The tiny cache makes every step re-read.
TEST_F(KeyFileDamage, BlocksChangedOnDiskAfterTheirCheckNeverCrash) {
    keyfile::setCachePerKeyFileForTesting(2);
    makeSample(400);
    std::mt19937 rng(9);
    const int rounds = 120 / testing::kScale;
    for (int round = 0; round < rounds; ++round) {
        testing::writeFile(path, pristine);
        KeyFile* k = keyFileOpen(path, false);
        ASSERT_NE(k, nullptr);
        ASSERT_EQ(walkAll(k).size(), 401u);  // every leaf passes its full check
        for (int flip = 0; flip < 8; ++flip) {
            const long at = std::uniform_int_distribution<long>(2 * kBlock, blocks * kBlock - 1)(rng);
            const char changed = static_cast<char>(pristine[static_cast<size_t>(at)] ^ 0x5A);
            patchFile(path, at, std::string(1, changed));
        }
        walkCleanly(k);
        for (int i = 0; i < 400; i += 7) {
            const std::string want = keyOf(i);
            std::string found;
            EXPECT_TRUE(acceptable(testing::findFirst(k, want, &found)));
            EXPECT_TRUE(acceptable(keyFileFindAll(k, want.data(), static_cast<int>(want.size()),
                                                  [](void*, const char*, int) {}, nullptr)));
        }
        keyFileClose(k);
    }
}

TEST_F(KeyFileDamage, FreeChainPointingAtATreeBlockFailsAndRollsBack) {
    makeSample(300);
    patchFile(path, 5, std::string("\x00\x00\x00\x02", 4));  // FreeListHead := block 2, a tree block
    KeyFile* k = keyFileOpen(path, true);
    ASSERT_NE(k, nullptr);
    const auto before = walkAll(k);
    int rc = 0;
    int i = 0;
    std::vector<std::string> added;
    // Inserting until a block is needed.
    for (; i < 5000 && rc == 0; ++i) {
        const std::string key = "new-" + std::to_string(i);
        rc = keyFileInsert(k, key.data(), static_cast<int>(key.size()), "0123456789", 10);
        if (rc == 0) added.push_back(key + "=0123456789");
    }
    ASSERT_EQ(rc, -1);
    EXPECT_EQ(keyFileErrno(), kKfDamaged);
    auto expected = before;
    expected.insert(expected.end(), added.begin(), added.end());
    std::sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
        return a.substr(0, a.find('=')) < b.substr(0, b.find('='));
    });
    EXPECT_EQ(walkAll(k), expected);  // the failed insert left no trace
    ASSERT_EQ(keyFileClose(k), 0);
}

class FaultGuard {
public:
    explicit FaultGuard(keyfile::BlockIoFault f) { keyfile::setBlockIoFaultForTesting(std::move(f)); }
    ~FaultGuard() { keyfile::setBlockIoFaultForTesting(nullptr); }
};

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
            rc = keyFileInsert(k, key.data(), static_cast<int>(key.size()), "0123456789012345678901234567890123456789", 40);
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
    {
        FaultGuard fault([](bool write, uint32_t block) { return !write && block > 1 ? EIO : 0; });
        k = keyFileOpen(path, false);  // reads blocks 0 and 1 only
        ASSERT_NE(k, nullptr);
        EXPECT_EQ(testing::findFirst(k, keyOf(7)), -1);
        EXPECT_EQ(keyFileErrno(), kKfReadFailed);
    }
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
    auto find = [&](const std::string& key) { return testing::findFirst(k, key); };
    bool failed = false;
    while (!failed && at < expected.size()) {
        ASSERT_EQ(keyFileClose(k), 0);  // an empty cache: a neighbour must come from the disk
        k = keyFileOpen(path, true);
        ASSERT_NE(k, nullptr);
        ASSERT_GE(find(keyAt(at)), 0);
        {
            FaultGuard fault([](bool write, uint32_t) { return write ? 0 : EIO; });
            failed = keyFileDelete(k) != 0;
        }
        if (!failed) expected.erase(expected.begin() + static_cast<long>(at));
    }
    ASSERT_TRUE(failed);
    EXPECT_EQ(keyFileErrno(), kKfReadFailed);
    for (size_t i = at - 10; i < std::min(expected.size(), at + 10); ++i) {
        ASSERT_GE(find(keyAt(i)), 0) << keyAt(i);
        EXPECT_EQ(keyAt(i) + "=" + testing::currentData(k), expected[i]);
    }
    EXPECT_EQ(walkAll(k), expected);
    // The restored leaf takes changes again.
    const std::string victim = keyAt(at);
    ASSERT_GE(find(victim), 0);
    ASSERT_EQ(keyFileDelete(k), 0);
    EXPECT_EQ(find(victim), -1);
    ASSERT_EQ(keyFileClose(k), 0);
}

}  // namespace
}  // namespace quorvane
