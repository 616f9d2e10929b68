#include "keyfile/key_file.h"
#include "keyfile/key_file_internal.h"

namespace quorvane {

namespace {
thread_local int t_errno = 0;
}

int keyFileErrno() { return t_errno; }

const char* keyFileErrorText(int code) {
    switch (code) {
    case kKfOk: return "no error";
    case kKfOutOfMemory: return "out of memory";
    case kKfDuplicateHash: return "duplicate entry in an internal table";
    case kKfNotFound: return "not found";
    case kKfDamaged: return "damaged key file or bad block number";
    case kKfNoKeyFile: return "no key file given";
    case kKfBadKeyLength: return "key length not within 1 to 255";
    case kKfNoData: return "data length above 0 but no data";
    case kKfNegativeDataLength: return "negative data length";
    case kKfCreateFailed: return "cannot create the key file";
    case kKfOpenFailed: return "cannot open the key file";
    case kKfSeekFailed: return "seek failed";
    case kKfReadFailed: return "read failed";
    case kKfWriteFailed: return "write failed";
    case kKfStateError: return "internal state error";
    case kKfBlockFull: return "block full";
    case kKfNotForUpdate: return "key file not opened for update";
    default: return "unknown key file error";
    }
}

namespace keyfile {

void setError(int code) { t_errno = code; }

bool fail(int code) {
    t_errno = code;
    return false;
}

}  // namespace keyfile
}  // namespace quorvane
