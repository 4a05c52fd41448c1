// RIPEMD-160, the published 160-bit digest (track digest, password proof).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int DIGEST_SIZE = 20;

struct Digest {
    alignas(16) unsigned char ctx[128]; // the library's context, kept opaque here
};

void digest_begin(Digest* d);
void digest_add(Digest* d, const void* bytes, size_t n);
void digest_end(Digest* d, unsigned char out[DIGEST_SIZE]);
// One-shot digest of a buffer.
void digest_bytes(const void* bytes, size_t n, unsigned char out[DIGEST_SIZE]);
// 40 lower-case hexadecimal digits.
std::string digest_hex(const unsigned char digest[DIGEST_SIZE]);
