#include "KestraneFwUpgrade.h"
// Placeholder until the port search is written.
BOOL detectComPortAndBaudrate() { return FALSE; }
