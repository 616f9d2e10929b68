#include "support/chd_image.h"

namespace quorvane::testing {

namespace {

// A big-endian integer of `bytes` bytes.
std::string be(uint64_t value, int bytes) {
    std::string out;
    while (bytes-- > 0) out += static_cast<char>(value >> (8 * bytes) & 0xff);
    return out;
}

std::string unhex(const std::string& digits) {
    std::string out;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    return out;
}

}  // namespace

std::string chdStart(uint32_t length, uint32_t version) { return "MComprHD" + be(length, 4) + be(version, 4); }

std::string chdImage(unsigned version, bool parent, const std::string& sha1) {
    const std::string flagsAndSizes =
        be(parent ? 1 : 0, 4) + be(5, 4) + be(1000, 4) + be(0x123456789, 8) + be(0x400, 8);
    const std::string data(64, '\x5a');
    if (version == 3)
        return chdStart(120, 3) + flagsAndSizes + unhex(kChdMd5) + unhex(kChdParentSha1.substr(0, 32)) + be(4096, 4) +
               unhex(sha1) + unhex(kChdParentSha1) + data;
    if (version == 4)
        return chdStart(108, 4) + flagsAndSizes + be(4096, 4) + unhex(sha1) + unhex(kChdParentSha1) +
               unhex(kChdRawSha1) + data;
    return chdStart(124, 5) + be(0x7a6c6962, 4) + std::string(12, '\0') + be(0x123456789, 8) + be(0x800, 8) +
           be(0x400, 8) + be(4096, 4) + be(512, 4) + unhex(kChdRawSha1) + unhex(sha1) +
           unhex(parent ? kChdParentSha1 : kChdNoSha1) + data;
}

}  // namespace quorvane::testing
