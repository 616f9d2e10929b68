#include "archive/shared_library.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "archive/libarchive_api.h"
#include "archive/libcrypto_api.h"

using namespace quorvane;

TEST(SharedLibraryTest, BindsWhatTheLibraryHasAndNamesWhatItLacks) {
    SharedLibrary zlib("libz.so.1");
    ASSERT_TRUE(zlib.loaded()) << zlib.error();
    decltype(&::zlibVersion) version = nullptr;
    ASSERT_TRUE(zlib.bind(version, "zlibVersion"));
    EXPECT_STREQ(version(), zlibVersion());
    EXPECT_FALSE(zlib.bind(version, "noSuchFunction"));
    EXPECT_EQ(version, nullptr);
    EXPECT_NE(zlib.error().find("noSuchFunction"), std::string::npos) << zlib.error();

    SharedLibrary missing("libquorvane-absent.so.7");
    EXPECT_FALSE(missing.loaded());
    EXPECT_NE(missing.error().find("libquorvane-absent.so.7"), std::string::npos) << missing.error();
    EXPECT_FALSE(missing.bind(version, "zlibVersion"));
}

// Every function the tables list is found, so none is left null for a caller.
TEST(SharedLibraryTest, TheArchiveAndDigestTablesLoadWhole) {
    const LibArchive* lib = libArchive();
    ASSERT_NE(lib, nullptr) << libArchiveError();
    EXPECT_EQ(lib, libArchive());
    archive* reader = lib->archive_read_new();
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(lib->archive_read_free(reader), ARCHIVE_OK);
    const LibCrypto* crypto = libCrypto();
    ASSERT_NE(crypto, nullptr);
    EXPECT_NE(crypto->EVP_md5(), nullptr);
}
