// A randomized test against std::multimap, which keeps equal keys in
// insertion order just as the key file must.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "key_file_test_util.h"
#include "keyfile/key_file_internal.h"

namespace quorvane {
namespace {

using Model = std::multimap<std::string, std::string>;
using Texts = std::vector<std::string>;

// Seeds, and blocks cached per key file: with 4 nearly every step reads its
// blocks back from disk, whether their keys were expanded before or not, and
// the key file spills into numbered physical files every 8 blocks.
class KeyFileModel : public ::testing::TestWithParam<std::tuple<unsigned, size_t>> {
protected:
    std::mt19937 rng{std::get<0>(GetParam())};
    std::vector<std::string> pool;  // the keys, about eight records each
    Model model;

    void SetUp() override { keyfile::setCachePerKeyFileForTesting(std::get<1>(GetParam())); }
    void TearDown() override { keyfile::setCachePerKeyFileForTesting(0); }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    const std::string& anyKey() { return pool[static_cast<size_t>(uniform(0, static_cast<int>(pool.size()) - 1))]; }

    // Random bytes of a length mostly short, sometimes long; keys over a
    // small alphabet share long prefixes.
    std::string makeText(int minLen, int shortMax, int midMax, int longMax, int first, int span) {
        const int roll = uniform(0, 99);
        std::string s(static_cast<size_t>(roll < 65   ? uniform(minLen, shortMax)
                                          : roll < 90 ? uniform(shortMax + 1, midMax)
                                                      : uniform(midMax + 1, longMax)), '\0');
        for (char& c : s) c = static_cast<char>(first + uniform(0, span));
        return s;
    }
    std::string makeKey() { return makeText(1, 20, 100, 255, 'a', 3); }
    std::string makeData() { return makeText(0, 20, 1024, 2000, 0, 255); }

    void insertSome(KeyFile* k, int count) {
        for (int i = 0; i < count; ++i) {
            const auto it = model.emplace(anyKey(), makeData());
            testing::insertText(k, it->first, it->second);
        }
    }

    void verify(KeyFile* k) {
        Texts expected;
        for (const auto& [key, data] : model) expected.push_back(key + "=" + data);
        ASSERT_TRUE(testing::walkAll(k) == expected) << "the records differ";
        // The one-walk visit sees the same records, data cut at 1024 bytes.
        Texts each;
        const auto record = [](void* to, const unsigned char* key, int keyLen, const char* d, int n) {
            static_cast<Texts*>(to)->push_back(std::string(reinterpret_cast<const char*>(key), static_cast<size_t>(keyLen)) +
                                               "=" + std::string(d, static_cast<size_t>(n)));
        };
        ASSERT_EQ(keyFileEach(k, record, &each), static_cast<int>(model.size()));
        for (std::string& text : expected) text.resize(std::min(text.size(), text.find('=') + 1 + 1024));
        ASSERT_TRUE(each == expected) << "the visited records differ";
        ASSERT_EQ(testing::nextData(k), "<end>");
        for (int i = 0; i < 300; ++i) {
            const std::string& probe = anyKey();
            const auto found = model.find(probe);  // the first of the equal keys
            const bool absent = found == model.end();
            ASSERT_EQ(testing::findFirst(k, probe), absent ? -1 : static_cast<int>(found->second.size()));
            if (absent) ASSERT_EQ(keyFileErrno(), kKfNotFound);
            else ASSERT_EQ(testing::currentData(k), found->second);
            // Every equal key, in insertion order, however many leaves they span,
            // with data cut at 1024 bytes; afterwards no record is current.
            Texts all, want;
            const auto keep = [](void* to, const char* d, int n) { static_cast<Texts*>(to)->emplace_back(d, n); };
            const int visited = keyFileFindAll(k, probe.data(), static_cast<int>(probe.size()), keep, &all);
            ASSERT_EQ(visited, static_cast<int>(model.count(probe)));
            for (auto [lo, hi] = model.equal_range(probe); lo != hi; ++lo) want.push_back(lo->second.substr(0, 1024));
            ASSERT_EQ(all, want);
            ASSERT_EQ(testing::nextData(k), "<end>");
        }
    }

    // Positions the key file on a random existing record; returns the model's.
    Model::iterator positionOnAny(KeyFile* k) {
        for (;;) {
            const std::string& key = anyKey();
            auto [lo, hi] = model.equal_range(key);
            if (lo == hi) continue;
            const int rank = uniform(0, static_cast<int>(std::distance(lo, hi)) - 1);
            EXPECT_GE(testing::findFirst(k, key), 0);
            for (int i = 0; i < rank; ++i) EXPECT_EQ(testing::nextData(k).substr(0, key.size() + 1), key + "=");
            return std::next(lo, rank);
        }
    }
};

TEST_P(KeyFileModel, MatchesMultimapThroughChangesAndReopening) {
    testing::TempDir dir;
    const std::string path = dir.file("model.idx");
    const int inserts = 15000 / testing::kScale;
    for (int i = 0; i < inserts / 8; ++i) pool.push_back(makeKey());
    const unsigned perFile = std::get<1>(GetParam()) ? 8 : kKeyFileBlocksPerPhysicalFile;
    KeyFile* k = keyFileCreate(path, nullptr, perFile);
    ASSERT_NE(k, nullptr);
    insertSome(k, inserts);
    verify(k);

    for (int i = 0; i < inserts / 3; ++i) {
        const auto it = positionOnAny(k);
        ASSERT_EQ(keyFileDelete(k), 0) << keyFileErrno();
        model.erase(it);
    }
    verify(k);

    for (int i = 0; i < inserts / 4; ++i) {
        const auto it = positionOnAny(k);
        std::string data = makeData();
        if (uniform(0, 1) == 0) data.resize(it->second.size(), 'u');
        ASSERT_EQ(keyFileUpdate(k, data.data(), static_cast<int>(data.size())), 0) << keyFileErrno();
        ASSERT_EQ(testing::currentData(k), data);
        // The same length keeps its place; another goes after its equal keys.
        if (data.size() == it->second.size()) it->second = data;
        else model.emplace(it->first, data), model.erase(it);
    }
    verify(k);
    ASSERT_EQ(keyFileClose(k), 0);

    for (const bool forUpdate : {true, false}) {
        k = keyFileOpen(path, forUpdate, nullptr, perFile);
        ASSERT_NE(k, nullptr);
        verify(k);
        if (forUpdate) {
            insertSome(k, inserts / 3);  // into the blocks freed by the deletes
            verify(k);
        }
        ASSERT_EQ(keyFileClose(k), 0);
    }

    // Every block is in exactly one of the tree, the data chain and the free
    // chain, as a reader of the format sees it.
    if (std::get<0>(GetParam()) == 1u) {
        std::string out;
        const std::string dump = "python3 " QUORVANE_SOURCE_DIR "/scripts/dump-keyfile --check --blocks-per-file ";
        ASSERT_EQ(testing::runCapture(dump + std::to_string(perFile) + " " + path + " 2>&1", out), 0) << out;
        EXPECT_NE(out.find("records " + std::to_string(model.size())), std::string::npos) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeyFileModel,
                         ::testing::Combine(::testing::Values(1u, 20250u, 77777u), ::testing::Values(0u, 4u)));

}  // namespace
}  // namespace quorvane
