// CRC-32 (zlib), MD5 and SHA-1 (libcrypto) fed from one pass over the data;
// only the digests asked for are computed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using EVP_MD_CTX = struct evp_md_ctx_st;  // as <openssl/types.h> declares it

namespace quorvane {

struct LibCrypto;

class DigestSet {
public:
    DigestSet(bool wantCrc, bool wantMd5, bool wantSha1);
    ~DigestSet();
    DigestSet(const DigestSet&) = delete;
    DigestSet& operator=(const DigestSet&) = delete;

    // False if libcrypto could not be loaded or could not start a requested digest.
    bool ready() const { return ready_; }
    void update(const void* data, size_t size);
    // The CRC-32 of the data so far (when asked for).
    uint32_t crc() const { return crc_; }
    // Lowercase texts; empty for a digest that was not asked for.
    void finish(std::string& crcHex, std::string& md5Hex, std::string& sha1Hex);

private:
    bool wantCrc_;
    bool ready_ = true;
    uint32_t crc_ = 0;
    const LibCrypto* crypto_ = nullptr;  // libcrypto, once a digest of its is asked for
    EVP_MD_CTX* md5_ = nullptr;
    EVP_MD_CTX* sha1_ = nullptr;
};

// `value` as exactly eight hex digits with leading zeros.
std::string crcHex(uint32_t value, bool upperCase);

}  // namespace quorvane
