// Any bytes and any capacity through the encoder: it writes only inside the capacity it
// is given, and what it writes is the exact Base64 text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Encoder.h"

static int valueOf(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the capacity, relative to what the text needs.
    const int32_t slen = static_cast<int32_t>(size - 2);
    const int32_t needed = 4 * ((slen + 2) / 3) + 1;
    const int32_t capacity = needed + static_cast<int8_t>(data[0]) % 8 - (data[1] & 1 ? 0 : 4);
    const size_t room = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    unsigned char* dst = static_cast<unsigned char*>(malloc(room + 1));
    if (!dst) return 0;
    int32_t dlen = capacity;
    const int result = base64_encode(dst, &dlen, data + 2, slen);
    if (slen == 0) {
        if (result != 0 || dlen != capacity) abort();
    } else if (capacity < needed) {
        if (result != -1 || dlen != needed) abort();
    } else {
        if (result != 0 || dlen != needed - 1 || dst[dlen] != '\0') abort();
        // Decode and compare.
        for (int32_t group = 0; group < slen; group += 3) {
            const unsigned char* in = dst + group / 3 * 4;
            uint32_t bits = 0;
            for (int k = 0; k < 4; ++k) {
                const int v = in[k] == '=' ? 0 : valueOf(in[k]);
                if (v < 0) abort();
                bits = bits << 6 | static_cast<uint32_t>(v);
            }
            for (int k = 0; k < 3 && group + k < slen; ++k)
                if (static_cast<uint8_t>(bits >> (16 - 8 * k)) != data[2 + group + k]) abort();
        }
    }
    free(dst);
    return 0;
}
