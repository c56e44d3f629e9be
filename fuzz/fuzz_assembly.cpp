// Any text through the whole assembly, handed in as the tool hands it: a heap copy with
// 16 zero bytes behind it. The assembly must never write outside the image, nor read
// outside the copy, and its length must stay inside the image.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "KestraneFwUpgrade.h"

static bool setUp() {
    // The diagnostics of invalid records would drown the fuzzer's own output.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, STDOUT_FILENO);
    return allocateSharedBuffers();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = setUp();
    if (!ready) abort();
    char* text = static_cast<char*>(calloc(size + SPARE_BYTES, 1));
    if (!text) return 0;
    memcpy(text, data, size);
    const BOOL valid = ValidateFwAndConcatenateData(text);
    if (gDataConcatenatedLenght < 0 || gDataConcatenatedLenght > CONCAT_BUFFER_SIZE) abort();
    if (valid) gDataConcatenatedCheckSum = imageChecksum(gDataConcatenated, gDataConcatenatedLenght);
    for (int i = 0; i < SPARE_BYTES; ++i)
        if (gDataConcatenated[CONCAT_BUFFER_SIZE + i] != 0) abort();
    free(text);
    return 0;
}
