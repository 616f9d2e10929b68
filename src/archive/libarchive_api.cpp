#include "archive/libarchive_api.h"

#include <memory>

#include "archive/shared_library.h"

// Every libarchive 3 has had this soname.
static_assert(ARCHIVE_VERSION_NUMBER >= 3000000 && ARCHIVE_VERSION_NUMBER < 4000000);

namespace quorvane {

namespace {

struct Loaded {
    SharedLibrary library{"libarchive.so.13"};
    LibArchive table;
    bool complete = false;
};

const Loaded& loaded() {
    static const std::unique_ptr<Loaded> once = [] {
        auto l = std::make_unique<Loaded>();
        l->complete = l->library.loaded();
#define QUORVANE_LIBARCHIVE_BIND(name) l->complete = l->complete && l->library.bind(l->table.name, #name);
        QUORVANE_LIBARCHIVE_FUNCTIONS(QUORVANE_LIBARCHIVE_BIND)
#undef QUORVANE_LIBARCHIVE_BIND
        return l;
    }();
    return *once;
}

}  // namespace

const LibArchive* libArchive() {
    const Loaded& l = loaded();
    return l.complete ? &l.table : nullptr;
}

std::string libArchiveError() { return loaded().library.error(); }

}  // namespace quorvane
