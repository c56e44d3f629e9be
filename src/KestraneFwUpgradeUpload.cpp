#include "KestraneFwUpgrade.h"
// Placeholder until the upgrade is written.
BOOL updateFirmware() { return FALSE; }
