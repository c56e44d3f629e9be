// The test-only build of the tool divides its pauses and read deadlines by a compile-time
// factor; the shipping build's factor is 1. The stored records keep the exact values.
#include "Platform.h"

#ifndef KESTRANE_TIME_DIVISOR
#define KESTRANE_TIME_DIVISOR 1
#endif

int64_t Platform_ScaledMs(int64_t ms) {
    if (ms <= 0) return ms;
    const int64_t scaled = ms / KESTRANE_TIME_DIVISOR;
    return scaled > 0 ? scaled : 1;
}
