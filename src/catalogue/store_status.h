// Result codes of the catalogue layer: the key indexes, the row store and
// the catalogue over them. 0 is success and every failure has a negative
// number of its own; storeStatusText is the one table of what each means.
#pragma once

#include <string>

namespace quorvane {

enum class StoreStatus : int {
    Ok = 0,
    // A key index.
    IndexOpenFailed = -1,
    IndexInsertFailed = -2,
    IndexReadFailed = -3,
    NotFound = -4,
    End = -5,
    IndexFlushFailed = -6,
    IndexCloseFailed = -7,
    IndexDeleteFailed = -8,
    IndexUpdateFailed = -9,
    IndexEmpty = -11,
    Damaged = -12,
    // The row store.
    NotOpen = -100,
    RowTooLarge = -101,
    WriteFailed = -102,
    InUse = -103,
    BadRow = -104,
    IndexFailed = -105,
    ReadOnly = -106,
    RollbackFailed = -107,
    // Repair: the report says why it could not be done.
    RepairFailed = -108,
};

constexpr int statusCode(StoreStatus status) { return static_cast<int>(status); }

// What `status` means, for a message ("error <number>" for a code without a text).
std::string storeStatusText(StoreStatus status);

}  // namespace quorvane
