// Where the tests find the programs and fixtures of the build, and which system's
// programs they run: the Linux ones, or (KESTRANE_TEST_TARGET=windows) those of the
// Windows build under Wine.
#ifndef KESTRANE_TEST_PATHS_H
#define KESTRANE_TEST_PATHS_H

#include <string>

// Full path of a program of the build, e.g. binPath("unit-sim"). When the tests run the
// Windows programs, the tool, fwimage and web-package are wrappers that start the
// program of the Windows build under Wine (tools/wine-run.sh); the simulator stays ours.
std::string binPath(const char* program);

// Whether this run tests the programs of the Windows build.
bool testsWindowsPrograms();

// Whether path is one of those wrappers: its standard output is in the C runtime's text
// mode, every "\n" written as "\r\n".
bool isWindowsProgram(const std::string& path);

// Stops the Wine server of the prefix that tools/wine-run.sh made in a port directory.
void stopWineIn(const std::string& portDir);

// For a test that cannot be shown under Wine: skips it there, saying why.
#define SKIP_UNDER_WINE(why)                                                  \
    do {                                                                      \
        if (testsWindowsPrograms()) GTEST_SKIP() << "not under Wine: " << why; \
    } while (0)

#endif
