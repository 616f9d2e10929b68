#include "db/block_item.h"

#include <cstring>

#include "db/byte_coding.h"
#include "db/key_file_format.h"

namespace quorvane::keyfile {

static_assert(kInlineDataLimit == 1024);

bool decodeItem(const uint8_t* block, size_t offset, size_t end, bool leaf, Item* out) {
    const uint8_t* p = block + offset;
    const uint8_t* limit = block + end;
    if (offset + 2 > end) return false;
    out->keyLen = p[0];
    out->keyCommon = p[1];
    if (out->keyCommon > out->keyLen) return false;
    p += 2;
    const int n = getVarint(p, limit, &out->number);
    if (n == 0) return false;
    p += n;
    if (limit - p < out->tailLen()) return false;
    out->tail = p;
    p += out->tailLen();
    out->trailer = p;
    out->trailerLen = 0;
    out->dataBlock = out->dataOffset = 0;
    if (leaf && out->number > 0) {
        if (out->dataInline()) {
            if (limit - p < static_cast<ptrdiff_t>(out->number)) return false;
            out->trailerLen = static_cast<int>(out->number);
        } else {
            const int a = getVarint(p, limit, &out->dataBlock);
            if (a == 0) return false;
            const int b = getVarint(p + a, limit, &out->dataOffset);
            if (b == 0) return false;
            out->trailerLen = a + b;
        }
    }
    out->size = static_cast<int>(p + out->trailerLen - (block + offset));
    return true;
}

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
