#include "archive/digest_set.h"

#include <zlib.h>

#include "archive/libcrypto_api.h"

namespace quorvane {
namespace {

EVP_MD_CTX* start(const LibCrypto& lib, const EVP_MD* md, bool& ready) {
    EVP_MD_CTX* ctx = lib.EVP_MD_CTX_new();
    if (ctx == nullptr || lib.EVP_DigestInit_ex(ctx, md, nullptr) != 1) ready = false;
    return ctx;
}

std::string finishHex(const LibCrypto& lib, EVP_MD_CTX* ctx) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (lib.EVP_DigestFinal_ex(ctx, digest, &length) != 1) return {};
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += kDigits[digest[i] >> 4];
        out += kDigits[digest[i] & 0x0F];
    }
    return out;
}

}  // namespace

DigestSet::DigestSet(bool wantCrc, bool wantMd5, bool wantSha1) : wantCrc_(wantCrc) {
    if (wantCrc) crc_ = static_cast<uint32_t>(crc32_z(0, nullptr, 0));
    if (!wantMd5 && !wantSha1) return;
    crypto_ = libCrypto();
    if (crypto_ == nullptr) {
        ready_ = false;
        return;
    }
    if (wantMd5) md5_ = start(*crypto_, crypto_->EVP_md5(), ready_);
    if (wantSha1) sha1_ = start(*crypto_, crypto_->EVP_sha1(), ready_);
}

DigestSet::~DigestSet() {
    if (md5_) crypto_->EVP_MD_CTX_free(md5_);
    if (sha1_) crypto_->EVP_MD_CTX_free(sha1_);
}

void DigestSet::update(const void* data, size_t size) {
    if (wantCrc_) crc_ = static_cast<uint32_t>(crc32_z(crc_, static_cast<const Bytef*>(data), size));
    if (md5_) crypto_->EVP_DigestUpdate(md5_, data, size);
    if (sha1_) crypto_->EVP_DigestUpdate(sha1_, data, size);
}

void DigestSet::finish(std::string& crcText, std::string& md5Text, std::string& sha1Text) {
    crcText = wantCrc_ ? crcHex(crc_, false) : std::string();
    md5Text = md5_ ? finishHex(*crypto_, md5_) : std::string();
    sha1Text = sha1_ ? finishHex(*crypto_, sha1_) : std::string();
}

std::string crcHex(uint32_t value, bool upperCase) {
    // Every entry of every scanned archive takes one: no format parsing.
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = digits[value & 0x0F];
    return text;
}

}  // namespace quorvane
