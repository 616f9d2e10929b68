// Opens the input as a key file and does what the program does with one:
// walk, find, read, insert, delete. Anything but a clean error is a fault.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "keyfile/key_file.h"

namespace {

constexpr size_t kBlock = 4096;

std::string scratchPath() {
    return "/tmp/quorvane-keyfile-fuzz-" + std::to_string(::getpid()) + ".idx";
}

void exercise(quorvane::KeyFile* k, bool update) {
    char key[256], data[8192];
    int len = 0;
    int steps = 0;
    for (int rc = quorvane::keyFileFirst(k, key, &len); rc >= 0 && steps < 100000;
         rc = quorvane::keyFileNext(k, key, &len), ++steps) {
        if (rc <= static_cast<int>(sizeof data)) quorvane::keyFileRead(k, data, 0);
    }
    for (const char* probe : {"a", "system", "00000000123", "\xff"}) {
        const int n = static_cast<int>(std::char_traits<char>::length(probe));
        if (quorvane::keyFileFind(k, quorvane::kFindFirstEqual, probe, n, key, &len) >= 0) {
            quorvane::keyFileRead(k, data, 16);
            if (update) quorvane::keyFileUpdate(k, "changed", 7);
            if (update) quorvane::keyFileDelete(k);
        }
    }
    if (!update) return;
    for (int i = 0; i < 64; ++i) {
        const std::string add = "fuzz-" + std::to_string(i * 37 % 64);
        quorvane::keyFileInsert(k, add.data(), static_cast<int>(add.size()), data, i * 40);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > 64 * kBlock) return 0;
    const std::string path = scratchPath();
    // Whole blocks, so the fuzzer explores their content and not the length check.
    std::string file(reinterpret_cast<const char*>(bytes), size);
    file.resize((size + kBlock - 1) / kBlock * kBlock, '\0');
    for (bool update : {false, true}) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return 0;
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
        if (quorvane::KeyFile* k = quorvane::keyFileOpen(path, update)) {
            exercise(k, update);
            quorvane::keyFileClose(k);
        }
    }
    std::remove(path.c_str());
    return 0;
}
