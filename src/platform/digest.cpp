#include "platform/digest.h"

#include <nettle/ripemd160.h>

static_assert(sizeof(ripemd160_ctx) <= sizeof(Digest::ctx), "digest context too small");

static ripemd160_ctx* ctx_of(Digest* d) { return reinterpret_cast<ripemd160_ctx*>(d->ctx); }

void digest_begin(Digest* d) { ripemd160_init(ctx_of(d)); }

void digest_add(Digest* d, const void* bytes, size_t n) {
    ripemd160_update(ctx_of(d), n, static_cast<const uint8_t*>(bytes));
}

void digest_end(Digest* d, unsigned char out[DIGEST_SIZE]) { ripemd160_digest(ctx_of(d), DIGEST_SIZE, out); }

void digest_bytes(const void* bytes, size_t n, unsigned char out[DIGEST_SIZE]) {
    Digest d;
    digest_begin(&d);
    digest_add(&d, bytes, n);
    digest_end(&d, out);
}

std::string digest_hex(const unsigned char digest[DIGEST_SIZE]) {
    static const char hex[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < DIGEST_SIZE; i++) {
        s += hex[digest[i] >> 4];
        s += hex[digest[i] & 15];
    }
    return s;
}
