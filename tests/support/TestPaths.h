// Where the tests find the programs and fixtures of the build.
#ifndef KESTRANE_TEST_PATHS_H
#define KESTRANE_TEST_PATHS_H

#include <string>

// Full path of a program of the build, e.g. binPath("unit-sim").
std::string binPath(const char* program);

#endif
