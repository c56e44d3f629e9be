// The Windows build as it leaves our machines: programs that a clean Windows runs without
// any MinGW runtime, and helpers that write byte for byte what the Linux ones write.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "StdoutCapture.h"
#include "TempDir.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "firmware/BinImage.h"

namespace {

class WindowsBuild : public testing::Test {
protected:
    void SetUp() override {
        if (!testsWindowsPrograms()) GTEST_SKIP() << "checks of the Windows build";
    }
};

struct ProgramRun {
    int status;
    std::string output;
};

ProgramRun runIn(const std::string& dir, const std::vector<std::string>& argv) {
    TerminalProcess program(argv, {{}, false, dir});
    if (!program.waitForExit(60000)) program.kill();
    return {program.exitStatus(), program.output()};
}

std::string linuxProgram(const char* name) { return std::string(KESTRANE_BIN_DIR) + "/" + name; }

// The DLLs a program of the Windows build imports, as objdump lists them.
std::vector<std::string> importedDlls(const std::string& exe) {
    std::vector<std::string> dlls;
    const std::string command = "x86_64-w64-mingw32-objdump -p '" + exe + "'";
    FILE* const pipe = popen(command.c_str(), "r");
    if (!pipe) return dlls;
    char line[512];
    while (fgets(line, sizeof line, pipe)) {
        const std::string text = line;
        const size_t at = text.find("DLL Name: ");
        if (at != std::string::npos) dlls.push_back(text.substr(at + 10, text.find_last_not_of("\r\n") - at - 9));
    }
    pclose(pipe);
    return dlls;
}

TEST_F(WindowsBuild, ProgramsImportOnlyWhatEveryWindowsHas) {
    const std::string dir = KESTRANE_WINDOWS_BIN_DIR;
    for (const char* program : {"KestraneFwUpgrade", "KestraneFwUpgrade-testtime", "fwimage", "web-package"}) {
        const std::vector<std::string> dlls = importedDlls(dir + "/" + program + ".exe");
        EXPECT_FALSE(dlls.empty()) << program << ": objdump found no import table";
        for (const std::string& dll : dlls)
            EXPECT_TRUE(dll == "KERNEL32.dll" || dll == "msvcrt.dll") << program << " imports " << dll;
    }
}

TEST_F(WindowsBuild, FwimageWritesWhatTheLinuxProgramWrites) {
    for (int index = 0; index < AUTOGEN_FILES_COUNT; ++index) {
        SCOPED_TRACE(AUTOGEN_FILES[index].filePath);
        const std::string text = std::string(KESTRANE_SAMPLE_IMAGE_DIR) + "/" + AUTOGEN_FILES[index].filePath;
        TempDir dir("kestrane-fwimage-windows");
        const ProgramRun onWindows = runIn(dir.path(), {binPath("fwimage"), text, "-o", dir.file("windows.bin")});
        const ProgramRun onLinux = runIn(dir.path(), {linuxProgram("fwimage"), text, "-o", dir.file("linux.bin")});
        EXPECT_EQ(onWindows.status, 0);
        EXPECT_EQ(onLinux.status, 0);
        EXPECT_EQ(onWindows.output, onLinux.output);
        const std::string image = fileContents(dir.file("linux.bin"));
        EXPECT_FALSE(image.empty());
        EXPECT_TRUE(fileContents(dir.file("windows.bin")) == image) << "the two images differ";
    }
}

TEST_F(WindowsBuild, WebPackageWritesWhatTheLinuxProgramWrites) {
    TempDir windowsDir("kestrane-webpkg-windows");
    TempDir linuxDir("kestrane-webpkg-linux");
    const ProgramRun onWindows = runIn(windowsDir.path(), {binPath("web-package")});
    const ProgramRun onLinux = runIn(linuxDir.path(), {linuxProgram("web-package")});
    EXPECT_EQ(onWindows.status, 0);
    EXPECT_EQ(onLinux.status, 0);
    EXPECT_EQ(visible(onWindows.output), visible(onLinux.output));
    const std::string package = fileContents(linuxDir.file("FwToUpload.bin"));
    EXPECT_GT(package.size(), 150000u);
    EXPECT_TRUE(fileContents(windowsDir.file("FwToUpload.bin")) == package) << "the two packages differ";
}

}  // namespace
