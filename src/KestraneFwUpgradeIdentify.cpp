#include "KestraneFwUpgrade.h"
// Placeholder until the identification is written.
int parseVersionReply(const char*, VersionReply*) { return -1; }
