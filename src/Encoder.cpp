// Base64 straight into the caller's buffer, in one pass, without allocation.
#include "Encoder.h"

#include <cstdint>

static const unsigned char base64_enc_map[64] = {
    'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 'P',
    'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', 'a', 'b', 'c', 'd', 'e', 'f',
    'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v',
    'w', 'x', 'y', 'z', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '+', '/'};

static const unsigned char kPad = '=';

// Four characters for every started group of three bytes, worked out in 64 bits so that
// no source length can overflow the arithmetic.
static int64_t encodedLength(int32_t slen) { return 4 * ((static_cast<int64_t>(slen) + 2) / 3); }

int base64_encode(unsigned char* dst, int32_t* dlen, const unsigned char* src, int32_t slen) {
    if (slen == 0) return 0;
    // A negative length, or a text whose size no 32-bit count can carry, is refused with
    // *dlen left as it was: there is no size to report that a caller could provide.
    if (!dlen || slen < 0) return -1;
    const int64_t n = encodedLength(slen);
    if (n + 1 > INT32_MAX) return -1;
    if (static_cast<int64_t>(*dlen) < n + 1) {
        *dlen = static_cast<int32_t>(n + 1);
        return -1;
    }

    unsigned char* out = dst;
    int32_t i = 0;
    for (; slen - i >= 3; i += 3) {
        const uint32_t group = (static_cast<uint32_t>(src[i]) << 16) | (static_cast<uint32_t>(src[i + 1]) << 8) |
                               static_cast<uint32_t>(src[i + 2]);
        *out++ = base64_enc_map[(group >> 18) & 0x3F];
        *out++ = base64_enc_map[(group >> 12) & 0x3F];
        *out++ = base64_enc_map[(group >> 6) & 0x3F];
        *out++ = base64_enc_map[group & 0x3F];
    }
    const int32_t left = slen - i;
    if (left > 0) {
        const uint32_t group = (static_cast<uint32_t>(src[i]) << 16) |
                               (left == 2 ? static_cast<uint32_t>(src[i + 1]) << 8 : 0U);
        *out++ = base64_enc_map[(group >> 18) & 0x3F];
        *out++ = base64_enc_map[(group >> 12) & 0x3F];
        *out++ = left == 2 ? base64_enc_map[(group >> 6) & 0x3F] : kPad;
        *out++ = kPad;
    }
    *out = '\0';
    *dlen = static_cast<int32_t>(n);
    return 0;
}
