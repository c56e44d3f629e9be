// Base64 (RFC 4648, standard alphabet, "=" padding, no line breaks).
#ifndef ENCODER_H
#define ENCODER_H

#include <cstdint>

// Encodes slen bytes of src into dst as NUL-terminated text. *dlen is the capacity of
// dst on entry and the number of characters written on success (result 0). When dst is
// too small, nothing is written, *dlen receives the size needed and the result is -1.
// With slen 0 nothing at all happens and the result is 0.
int base64_encode(unsigned char* dst, int32_t* dlen, const unsigned char* src, int32_t slen);

#endif
