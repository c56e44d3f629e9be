#include "DevicePath.h"

#include <cstdio>
#include <cstdlib>

#ifndef KESTRANE_SAMPLE_IMAGES
#define KESTRANE_SAMPLE_IMAGES 0
#endif

const char* portDirectory() {
    const char* const dir = getenv("COM_PORT_DIR");
    return dir && *dir ? dir : nullptr;
}

bool sampleRuleRefusesPorts() { return KESTRANE_SAMPLE_IMAGES && !portDirectory(); }

// $COM_PORT_DIR/COMn when that is set, else the fixed table (COM1-8 ttyUSB0-7, COM9-16
// ttyACM0-7, COM17-32 ttyS0-15). A build with the synthetic sample images has no table:
// it must never reach a real unit.
bool devicePath(int nId, char* path, size_t size) {
    const char* const dir = portDirectory();
    int length;
    if (dir) {
        length = snprintf(path, size, "%s/COM%d", dir, nId);
    } else if (KESTRANE_SAMPLE_IMAGES) {
        return false;
    } else if (nId >= 1 && nId <= 8) {
        length = snprintf(path, size, "/dev/ttyUSB%d", nId - 1);
    } else if (nId >= 9 && nId <= 16) {
        length = snprintf(path, size, "/dev/ttyACM%d", nId - 9);
    } else if (nId >= 17 && nId <= 32) {
        length = snprintf(path, size, "/dev/ttyS%d", nId - 17);
    } else {
        return false;
    }
    return length >= 0 && static_cast<size_t>(length) < size;
}
