#include "Encoder.h"
// Placeholder until the module is written.
int base64_encode(unsigned char*, int32_t*, const unsigned char*, int32_t) { return -1; }
