#include "archive/libcrypto_api.h"

#include <openssl/opensslv.h>

#include <memory>

#include "archive/shared_library.h"

static_assert(OPENSSL_VERSION_MAJOR == 3, "the soname below is OpenSSL 3's");

namespace quorvane {

const LibCrypto* libCrypto() {
    static const std::unique_ptr<LibCrypto> once = []() -> std::unique_ptr<LibCrypto> {
        static SharedLibrary library("libcrypto.so.3");
        auto table = std::make_unique<LibCrypto>();
        bool complete = library.loaded();
#define QUORVANE_LIBCRYPTO_BIND(name) complete = complete && library.bind(table->name, #name);
        QUORVANE_LIBCRYPTO_FUNCTIONS(QUORVANE_LIBCRYPTO_BIND)
#undef QUORVANE_LIBCRYPTO_BIND
        if (!complete) return nullptr;
        return table;
    }();
    return once.get();
}

}  // namespace quorvane
