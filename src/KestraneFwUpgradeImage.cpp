#include "KestraneFwUpgrade.h"
// Placeholder until the image assembly is written.
BOOL StrRemoveNL(char*, char) { return TRUE; }
BOOL ValidateFwAndConcatenateData(char*) { return FALSE; }
uint32_t imageChecksum(const uint8_t*, int32_t) { return 0; }
