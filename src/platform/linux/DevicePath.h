// Which device a port number stands for on Linux; shared by the serial device and its
// diagnosis.
#ifndef DEVICE_PATH_H
#define DEVICE_PATH_H

#include <cstddef>

// The directory of COMn links that COM_PORT_DIR names; null when it is not set.
const char* portDirectory();
// Whether this build refuses every port: it carries the synthetic sample images and
// COM_PORT_DIR, the directory of simulated ports, is not set.
bool sampleRuleRefusesPorts();
// The device path of port nId; false when the number stands for none (or the path does
// not fit size).
bool devicePath(int nId, char* path, size_t size);

#endif
