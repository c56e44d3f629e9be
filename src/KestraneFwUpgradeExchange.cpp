#include "KestraneFwUpgrade.h"
// Placeholder until the exchange is written.
BOOL sendCommand(const char*, BOOL, BOOL, const char*) { return FALSE; }
BOOL sendData(const uint8_t*, int, BOOL, const char*) { return FALSE; }
