// The tool's usage text: what a user reads after "KestraneFwUpgrade --help".
#ifndef USAGE_H
#define USAGE_H

#include "KestraneTypes.h"

#define EXIT_USAGE_SHOWN 0

// TRUE when the only argument is "--help" or "-h". Any other arguments are ignored by the
// tool, as they always were, so that a run started by a script keeps its behaviour.
BOOL Usage_IsHelpRequest(int argc, const char* const* argv);
// Writes the usage text to standard output. Opens no port and reads no key.
void Usage_Print();

#endif
