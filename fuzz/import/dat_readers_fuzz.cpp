// Feeds arbitrary bytes to both text DAT readers through the import job, and
// to the tokenizer and the row splitter directly. Any crash, hang or
// sanitizer report is a fault; the database contents are not checked here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_import_job.h"
#include "import/sectioned_dat.h"
#include "import/split_tokens.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvane;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> tokens;
    splitTokens(bytes, tokens);
    splitSectionedRow(bytes);
    fuzz::importBytes({}, bytes);
    return 0;
}
