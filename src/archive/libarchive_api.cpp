#include "archive/libarchive_api.h"

// Every libarchive 3 has had this soname.
static_assert(ARCHIVE_VERSION_NUMBER >= 3000000 && ARCHIVE_VERSION_NUMBER < 4000000);

namespace quorvane {

namespace {

struct Loaded {
    SharedLibrary library{"libarchive.so.13"};
    LibArchive table;
    bool complete = library.loaded() QUORVANE_LIBARCHIVE_FUNCTIONS(QUORVANE_BIND_FUNCTION);
};

const Loaded& loaded() {
    static const Loaded once;
    return once;
}

}  // namespace

const LibArchive* libArchive() {
    const Loaded& l = loaded();
    return l.complete ? &l.table : nullptr;
}

std::string libArchiveError() { return loaded().library.error(); }

}  // namespace quorvane
