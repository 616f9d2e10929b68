#include "catalogue/store_status.h"

namespace quorvane {

std::string storeStatusText(StoreStatus status) {
    switch (status) {
        case StoreStatus::NotOpen: return "the record file cannot be opened or created";
        case StoreStatus::RowTooLarge: return "a field is longer than 255 bytes or the row longer than 1024 bytes";
        case StoreStatus::WriteFailed: return "writing the record file failed";
        case StoreStatus::InUse: return "it is in use by another Quorvane process";
        case StoreStatus::BadRow: return "a row is damaged";
        case StoreStatus::IndexFailed: return "an index could not be updated";
        case StoreStatus::ReadOnly: return "it is read-only";
        case StoreStatus::RollbackFailed:
            return "it is damaged: a change cut short by a crash cannot be rolled back (is the folder writable?)";
        case StoreStatus::Damaged: return "it is damaged (quorvane check tells more; quorvane repair mends it)";
        case StoreStatus::IndexOpenFailed: return "an index file cannot be opened for writing (read-only?)";
        case StoreStatus::IndexFlushFailed: return "an index file could not be written";
        case StoreStatus::IndexCloseFailed: return "an index file could not be closed";
        default: return "error " + std::to_string(statusCode(status));
    }
}

}  // namespace quorvane
