#include "archive/zip_status.h"

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <string>

namespace quorvane {
namespace {

// Every code minizip and zlib can hand back passes through as it is, so each
// must have words of its own in a message, not the fallback.
TEST(ZipStatusTest, EveryLibraryCodeHasItsOwnWords) {
    const std::string fallback = zipStatusText(fromMinizip(-9999));
    for (const int code : {UNZ_ERRNO, UNZ_END_OF_LIST_OF_FILE, UNZ_PARAMERROR, UNZ_BADZIPFILE, UNZ_INTERNALERROR,
                           UNZ_CRCERROR, ZIP_ERRNO, ZIP_PARAMERROR, ZIP_BADZIPFILE, ZIP_INTERNALERROR, Z_STREAM_ERROR,
                           Z_DATA_ERROR, Z_MEM_ERROR, Z_BUF_ERROR}) {
        EXPECT_NE(zipStatusText(fromMinizip(code)), fallback) << code;
    }
}

}  // namespace
}  // namespace quorvane
