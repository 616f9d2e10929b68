// A randomized test against std::multimap, which keeps equal keys in
// insertion order just as the key file must.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "key_file_test_util.h"
#include "keyfile/key_file.h"
#include "keyfile/key_file_internal.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using Model = std::multimap<std::string, std::string>;

// Seeds, and blocks cached per key file: with 4 nearly every step reads its
// blocks back from disk, whether their keys were expanded before or not.
class KeyFileModel : public ::testing::TestWithParam<std::tuple<unsigned, size_t>> {
protected:
    std::mt19937 rng{std::get<0>(GetParam())};

    void SetUp() override { keyfile::setCachePerKeyFileForTesting(std::get<1>(GetParam())); }
    void TearDown() override { keyfile::setCachePerKeyFileForTesting(0); }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // Keys over a small alphabet share long prefixes; short ones dominate.
    std::string makeKey() {
        const int roll = uniform(0, 99);
        const int len = roll < 70 ? uniform(1, 20) : roll < 90 ? uniform(21, 100) : uniform(101, 255);
        std::string s(static_cast<size_t>(len), 'a');
        for (char& c : s) c = static_cast<char>('a' + uniform(0, 3));
        return s;
    }
    std::string makeData() {
        const int roll = uniform(0, 99);
        const int len = roll < 60 ? uniform(0, 20) : roll < 90 ? uniform(21, 1024) : uniform(1025, 2000);
        std::string s(static_cast<size_t>(len), '\0');
        for (char& c : s) c = static_cast<char>(uniform(0, 255));
        return s;
    }

    void verify(KeyFile* k, const Model& model, const std::vector<std::string>& pool) {
        char key[256];
        int keyLen = 0;
        int rc = keyFileFirst(k, key, &keyLen);
        size_t n = 0;
        for (const auto& [mk, md] : model) {
            ASSERT_GE(rc, 0) << "record " << n << " missing, error " << keyFileErrno();
            ASSERT_EQ(std::string(key, static_cast<size_t>(keyLen)), mk) << "record " << n;
            ASSERT_EQ(rc, static_cast<int>(md.size()));
            ASSERT_EQ(testing::currentData(k), md) << "record " << n;
            rc = keyFileNext(k, key, &keyLen);
            ++n;
        }
        ASSERT_EQ(rc, -1);
        ASSERT_EQ(keyFileErrno(), kKfNotFound);
        for (int i = 0; i < 300; ++i) {
            const std::string& probe = pool[static_cast<size_t>(uniform(0, static_cast<int>(pool.size()) - 1))];
            auto it = model.find(probe);  // the first of the equal keys
            const int got = keyFileFind(k, kFindFirstEqual, probe.data(), static_cast<int>(probe.size()), key, &keyLen);
            if (it == model.end()) {
                ASSERT_EQ(got, -1);
                ASSERT_EQ(keyFileErrno(), kKfNotFound);
            } else {
                ASSERT_EQ(got, static_cast<int>(it->second.size())) << "error " << keyFileErrno();
                ASSERT_EQ(testing::currentData(k), it->second);
            }
        }
    }

    // Positions the key file on the j-th record of `key` (as the model's).
    void positionOn(KeyFile* k, const std::string& key, int j) {
        ASSERT_GE(keyFileFind(k, kFindFirstEqual, key.data(), static_cast<int>(key.size()), nullptr, nullptr), 0);
        char buf[256];
        int len;
        for (int i = 0; i < j; ++i) {
            ASSERT_GE(keyFileNext(k, buf, &len), 0);
            ASSERT_EQ(std::string(buf, static_cast<size_t>(len)), key);
        }
    }

    // A random existing record: its key and its rank among the equal keys.
    Model::iterator pick(Model& model, const std::vector<std::string>& pool, int* rank) {
        for (;;) {
            const std::string& key = pool[static_cast<size_t>(uniform(0, static_cast<int>(pool.size()) - 1))];
            auto [lo, hi] = model.equal_range(key);
            if (lo == hi) continue;
            *rank = uniform(0, static_cast<int>(std::distance(lo, hi)) - 1);
            return std::next(lo, *rank);
        }
    }
};

TEST_P(KeyFileModel, MatchesMultimapThroughChangesAndReopening) {
    testing::TempDir dir;
    const std::string path = dir.file("model.idx");
    const int inserts = 15000 / testing::kScale;
    std::vector<std::string> pool;
    for (int i = 0; i < inserts / 8; ++i) pool.push_back(makeKey());  // about eight records a key
    Model model;
    KeyFile* k = keyFileCreate(path);
    ASSERT_NE(k, nullptr);
    auto insertSome = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const std::string& key = pool[static_cast<size_t>(uniform(0, static_cast<int>(pool.size()) - 1))];
            const std::string data = makeData();
            ASSERT_EQ(keyFileInsert(k, key.data(), static_cast<int>(key.size()), data.data(), static_cast<int>(data.size())), 0)
                << keyFileErrno();
            model.emplace(key, data);
        }
    };
    insertSome(inserts);
    verify(k, model, pool);

    for (int i = 0; i < inserts / 3; ++i) {
        int rank = 0;
        auto it = pick(model, pool, &rank);
        positionOn(k, it->first, rank);
        ASSERT_EQ(keyFileDelete(k), 0) << keyFileErrno();
        model.erase(it);
    }
    verify(k, model, pool);

    for (int i = 0; i < inserts / 4; ++i) {
        int rank = 0;
        auto it = pick(model, pool, &rank);
        positionOn(k, it->first, rank);
        std::string data = makeData();
        if (uniform(0, 1) == 0) data.resize(it->second.size(), 'u');
        ASSERT_EQ(keyFileUpdate(k, data.data(), static_cast<int>(data.size())), 0) << keyFileErrno();
        ASSERT_EQ(testing::currentData(k), data);
        if (data.size() == it->second.size()) {
            it->second = data;
        } else {
            const std::string key = it->first;
            model.erase(it);
            model.emplace(key, data);
        }
    }
    verify(k, model, pool);
    ASSERT_EQ(keyFileClose(k), 0);

    k = keyFileOpen(path, true);
    ASSERT_NE(k, nullptr);
    verify(k, model, pool);
    insertSome(inserts / 3);  // into the blocks freed by the deletes
    verify(k, model, pool);
    ASSERT_EQ(keyFileClose(k), 0);

    k = keyFileOpen(path, false);
    ASSERT_NE(k, nullptr);
    verify(k, model, pool);
    ASSERT_EQ(keyFileClose(k), 0);

    // Every block is in exactly one of the tree, the data chain and the free
    // chain, as a reader of the format sees it.
    if (std::get<0>(GetParam()) == 1u) {
        std::string out;
        ASSERT_EQ(testing::runCapture("python3 " QUORVANE_SOURCE_DIR "/scripts/dump-keyfile --check " + path + " 2>&1", out), 0)
            << out;
        EXPECT_NE(out.find("records " + std::to_string(model.size())), std::string::npos) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, KeyFileModel,
                         ::testing::Combine(::testing::Values(1u, 20250u, 77777u), ::testing::Values(size_t{0}, size_t{4})));

}  // namespace
}  // namespace quorvane
