// Physical files: a key file spills into "_0001", "_0002"... files once the
// blocks-per-file count is reached (65535 in the program, 8 here).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "key_file_test_util.h"
#include "keyfile/key_file.h"
#include "keyfile/key_file_format.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

using testing::TempDir;

constexpr unsigned kSmall = 8;

uintmax_t blocksIn(const std::string& path) { return std::filesystem::file_size(path) / keyfile::kBlockSize; }

TEST(KeyFileSpill, BlocksBeyondTheCountGoToNumberedFiles) {
    TempDir dir;
    const std::string path = dir.file("roms_sys.idx");
    testing::writeFile(dir.file("roms_sys_0001.idx"), "left by an earlier key file");
    KeyFile* k = keyFileCreate(path, nullptr, kSmall);
    ASSERT_NE(k, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.file("roms_sys_0001.idx")));
    std::vector<std::string> expected;
    for (int i = 0; i < 1500; ++i) {
        const std::string key = "sys" + std::to_string(i % 40);
        testing::insertText(k, key, std::string(40, static_cast<char>('a' + i % 26)));
    }
    for (int i = 0; i < 2; ++i) testing::insertText(k, "long", std::string(5000, 'L'));
    const auto all = testing::walkAll(k);
    ASSERT_EQ(all.size(), 1502u);
    ASSERT_EQ(keyFileClose(k), 0);

    EXPECT_EQ(blocksIn(path), kSmall);
    EXPECT_EQ(blocksIn(dir.file("roms_sys_0001.idx")), kSmall);
    ASSERT_TRUE(std::filesystem::exists(dir.file("roms_sys_0002.idx")));
    EXPECT_GE(blocksIn(dir.file("roms_sys_0002.idx")), 1u);

    k = keyFileOpen(path, false, nullptr, kSmall);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(testing::walkAll(k), all);
    ASSERT_EQ(keyFileClose(k), 0);

    // The dump script reads the same layout on its own.
    std::string out;
    ASSERT_EQ(testing::runCapture("python3 " QUORVANE_SOURCE_DIR "/scripts/dump-keyfile --check --blocks-per-file 8 " +
                                      path + " 2>&1",
                                  out),
              0)
        << out;
    EXPECT_NE(out.find("records 1502"), std::string::npos) << out;

    // A short file before the last one is damage.
    std::filesystem::resize_file(dir.file("roms_sys_0001.idx"), 3 * keyfile::kBlockSize);
    EXPECT_EQ(keyFileOpen(path, false, nullptr, kSmall), nullptr);
    EXPECT_EQ(keyFileErrno(), kKfDamaged);
}

}  // namespace
}  // namespace quorvane
