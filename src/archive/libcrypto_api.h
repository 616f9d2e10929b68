// libcrypto's digest functions, found in the library the first time a
// digest is asked for (see shared_library.h): a scan of zips needs only
// CRCs, and loading libcrypto would cost every run at start-up.
#pragma once

#include <openssl/evp.h>

#include "archive/shared_library.h"

namespace quorvane {

#define QUORVANE_LIBCRYPTO_FUNCTIONS(X)                                                                  \
    X(EVP_MD_CTX_new) X(EVP_MD_CTX_free) X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex) \
    X(EVP_md5) X(EVP_sha1)

struct LibCrypto {
    QUORVANE_LIBCRYPTO_FUNCTIONS(QUORVANE_FUNCTION_POINTER)
};

// The table, loaded on the first call from any thread; null when libcrypto
// or one of its functions cannot be found.
const LibCrypto* libCrypto();

}  // namespace quorvane
