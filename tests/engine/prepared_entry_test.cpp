#include "engine/prepared_entry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_fixtures.h"
#include "support/temp_dir.h"

namespace quorvane::testing {
namespace {

std::string listingOf(const ContainerFiles& c) {
    std::string text;
    for (const File& f : c.files) text += f.name + " " + f.size + " " + f.crc + " " + f.md5 + " " + f.sha1 + "\n";
    return text;
}

// What loadCollection lists for `path`, field by field.
std::string listingByLoad(const std::string& path, const LoadOptions& options, ZipStatus& status) {
    ContainerFiles c(path);
    status = loadCollection(c, options);
    return listingOf(c);
}

class LooseSourceTest : public ::testing::Test {
protected:
    TempDir dir;
    const std::string path = dir.file("rom.bin");
};

// One read lists the file exactly as loadCollection does (digests asked for
// or not, an empty file too), and the deflated copy made from the same bytes
// is that file's: it matches the listing and reads back whole from a zip.
TEST_F(LooseSourceTest, OneReadListsAsLoadCollectionAndDeflatesTheSameBytes) {
    for (const std::string& content : {std::string(), noise(70000, 5), std::string(200000, 'a') + noise(1000, 6)}) {
        writeFile(path, content);
        for (const LoadOptions options : {LoadOptions{}, LoadOptions{.useMD5 = true, .useSHA1 = true}}) {
            ContainerFiles c(path);
            ZipStatus status = ZipStatus::Error;
            LooseSource loose;
            ASSERT_TRUE(readLooseSource(c, stampOf(path), options, status, loose));
            ZipStatus expected = ZipStatus::Error;
            EXPECT_EQ(listingOf(c), listingByLoad(path, options, expected));
            EXPECT_EQ(status, expected);
            EXPECT_TRUE(c.isLoose());
            ASSERT_EQ(loose.size, content.size());

            PreparedEntry prepared;
            ASSERT_TRUE(prepareFrom(loose, prepared));
            EXPECT_TRUE(prepared.matches(c.files[0]));
            File other = c.files[0];
            other.size = std::to_string(content.size() + 1);
            EXPECT_FALSE(prepared.matches(other));
            const std::string zip = dir.file("out.zip");
            std::filesystem::remove(zip);
            ZipUpdate update(zip);
            update.addDeflated("rom.bin", prepared.data);
            ASSERT_EQ(update.commit(), ZipStatus::Ok);
            std::string back;
            ASSERT_EQ(runCapture("unzip -p '" + zip + "' rom.bin", back), 0);
            EXPECT_TRUE(back == content) << content.size();
        }
    }
}

// A file that changed since its stamp (grown, shrunk), has no stamp, or is
// above the limit is left to loadCollection; one gone between stamp and
// read fails the way loadCollection fails it.
TEST_F(LooseSourceTest, WhatOneReadCannotVouchForIsLeftToLoadCollection) {
    const auto tryRead = [&](const FileStamp& stamp, ZipStatus& status) {
        ContainerFiles c(path);
        LooseSource loose;
        return readLooseSource(c, stamp, {}, status, loose);
    };
    ZipStatus status = ZipStatus::Ok;
    writeFile(path, "twelve bytes");
    const FileStamp stamped = stampOf(path);
    writeFile(path, "thirteen bytes");
    EXPECT_FALSE(tryRead(stamped, status));
    writeFile(path, "eleven byte");
    EXPECT_FALSE(tryRead(stamped, status));
    EXPECT_FALSE(tryRead(FileStamp{}, status));
    writeFile(path, std::string(kPrepareSizeLimit + 1, 'x'));
    EXPECT_FALSE(tryRead(stampOf(path), status));
    writeFile(path, std::string(kPrepareSizeLimit, 'x'));
    EXPECT_TRUE(tryRead(stampOf(path), status));
    EXPECT_EQ(status, ZipStatus::Ok);

    const FileStamp present = stampOf(path);
    std::filesystem::remove(path);
    EXPECT_TRUE(tryRead(present, status));
    ZipStatus byLoad = ZipStatus::Ok;
    listingByLoad(path, {}, byLoad);
    EXPECT_EQ(status, byLoad);
    EXPECT_EQ(status, ZipStatus::FileNotFound);
}

}  // namespace
}  // namespace quorvane::testing
