#include "archive/libcrypto_api.h"

#include <openssl/opensslv.h>

static_assert(OPENSSL_VERSION_MAJOR == 3, "the soname below is OpenSSL 3's");

namespace quorvane {

namespace {

struct Loaded {
    SharedLibrary library{"libcrypto.so.3"};
    LibCrypto table;
    bool complete = library.loaded() QUORVANE_LIBCRYPTO_FUNCTIONS(QUORVANE_BIND_FUNCTION);
};

}  // namespace

const LibCrypto* libCrypto() {
    static const Loaded once;
    return once.complete ? &once.table : nullptr;
}

}  // namespace quorvane
