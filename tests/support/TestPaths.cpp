#include "TestPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

static const char* const kWindowsPrograms[] = {"KestraneFwUpgrade", "KestraneFwUpgrade-testtime", "fwimage",
                                               "web-package", "serial-driver"};

static std::string windowsWrapperDir() { return std::string(KESTRANE_BIN_DIR) + "/windows-programs"; }

bool testsWindowsPrograms() {
    const char* const target = getenv("KESTRANE_TEST_TARGET");
    return target && strcmp(target, "windows") == 0;
}

std::string binPath(const char* program) {
    if (testsWindowsPrograms()) {
        for (const char* windows : kWindowsPrograms)
            if (strcmp(program, windows) == 0) return windowsWrapperDir() + "/" + program;
    }
    return std::string(KESTRANE_BIN_DIR) + "/" + program;
}

bool isWindowsProgram(const std::string& path) { return path.rfind(windowsWrapperDir() + "/", 0) == 0; }

void stopWineIn(const std::string& portDir) {
    const std::string prefix = portDir + "/.wine";
    if (access(prefix.c_str(), F_OK) != 0) return;
    const std::string command = "WINEPREFIX='" + prefix +
                                "' sh -c '$(command -v wineserver || echo /usr/lib/wine/wineserver64) -k' "
                                ">/dev/null 2>&1";
    if (system(command.c_str()) != 0) {
        // Nothing to stop: the server had already gone.
    }
}
