#include "KestraneFwUpgrade.h"
// Placeholder until the web package writer is written.
BOOL createFirmwareFileForWeb() { return FALSE; }
