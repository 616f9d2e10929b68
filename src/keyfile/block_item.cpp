#include "keyfile/block_item.h"

#include <cstring>

#include "keyfile/byte_coding.h"
#include "keyfile/key_file_format.h"

namespace quorvane::keyfile {

static_assert(kInlineDataLimit == 1024);

int encodedItemSize(int tailLen, uint32_t number, int trailerLen) {
    return 2 + varintSize(number) + tailLen + trailerLen;
}

int encodeItem(uint8_t* out, int keyLen, int keyCommon, const uint8_t* tail, uint32_t number,
               const uint8_t* trailer, int trailerLen) {
    uint8_t* p = out;
    *p++ = static_cast<uint8_t>(keyLen);
    *p++ = static_cast<uint8_t>(keyCommon);
    p += putVarint(p, number);
    if (keyLen > keyCommon) std::memcpy(p, tail, static_cast<size_t>(keyLen - keyCommon));
    p += keyLen - keyCommon;
    if (trailerLen > 0) std::memcpy(p, trailer, static_cast<size_t>(trailerLen));
    p += trailerLen;
    return static_cast<int>(p - out);
}

int encodeDataReference(uint8_t* out, uint32_t dataBlock, uint32_t dataOffset) {
    const int a = putVarint(out, dataBlock);
    return a + putVarint(out + a, dataOffset);
}

}  // namespace quorvane::keyfile
