// Feeds arbitrary bytes to the XML DAT reader through the import job. The
// first byte chooses whether a root element is put in front, so that inputs
// without a declaration still reach the parser as XML rather than falling
// through to the text readers. Any crash, hang or sanitizer report is a fault.
#include <cstddef>
#include <cstdint>

#include "fuzz_import_job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    quorvane::fuzz::importBytes(data[0] & 1 ? "<datafile>" : "", bytes);
    return 0;
}
