#include "TestPaths.h"

std::string binPath(const char* program) { return std::string(KESTRANE_BIN_DIR) + "/" + program; }
