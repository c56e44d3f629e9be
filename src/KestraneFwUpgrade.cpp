// The main module's shared buffers, the copies of the embedded texts and the way out.
#include "KestraneFwUpgrade.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform.h"
#include "firmware/BinImage.h"

char* gHexFirmware = nullptr;
char* gHexFPGA_Code = nullptr;
uint8_t* gDataConcatenated = nullptr;
char* gDataBuffer = nullptr;
int32_t gDataConcatenatedLenght = 0;
uint32_t gDataConcatenatedCheckSum = 0;
int gComPortNumber = 0;
int gBaudRate = 0;

char* newCopyOfEmbeddedText(int index) {
    const autogen_files& entry = AUTOGEN_FILES[index];
    const size_t length = static_cast<size_t>(entry.fileDataLength);
    // calloc gives the zero bytes behind the text that end it as a string.
    char* copy = static_cast<char*>(calloc(length + SPARE_BYTES, 1));
    if (copy) memcpy(copy, entry.fileData, length);
    return copy;
}

BOOL allocateImageBuffer() {
    // Asked for large pages: the assembly refills all 4 MiB, and on a virtual machine the
    // first touch of every small page costs more than the refill itself.
    gDataConcatenated = static_cast<uint8_t*>(Platform_AllocateLarge(CONCAT_BUFFER_SIZE + SPARE_BYTES));
    if (!gDataConcatenated) return FALSE;
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    memset(gDataConcatenated + CONCAT_BUFFER_SIZE, 0, SPARE_BYTES);
    return TRUE;
}

BOOL allocateSharedBuffers() {
    gHexFirmware = newCopyOfEmbeddedText(IMAGE_INDEX_MCU);
    allocateImageBuffer();
    gDataBuffer = static_cast<char*>(calloc(DATA_BUFFER_SIZE, 1));
    if (gHexFirmware && gDataConcatenated && gDataBuffer) return TRUE;
    releaseSharedBuffers();
    return FALSE;
}

void releaseSharedBuffers() {
    free(gDataBuffer);
    gDataBuffer = nullptr;
    free(gDataConcatenated);
    gDataConcatenated = nullptr;
    free(gHexFirmware);
    gHexFirmware = nullptr;
    free(gHexFPGA_Code);
    gHexFPGA_Code = nullptr;
}

void dipsplayLastMessageToUserBeforeExit(const char* lastMessage) {
    fputs(lastMessage, stdout);
    fputs("\r\nPress any key to exit", stdout);
    fflush(stdout);
    Platform_WaitForKey();
}
