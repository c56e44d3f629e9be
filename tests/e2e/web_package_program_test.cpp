// The web-package program as a user runs it: the package in the current directory, the
// key wait on a terminal, and an exit status that says whether the package was written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "StdoutCapture.h"
#include "TempDir.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

namespace {

const char* const kPackage = "FwToUpload.bin";

class WebPackageProgram : public ::testing::Test {
protected:
    TerminalProcess::Options options(bool onTerminal) const { return {{}, onTerminal, dir_.path()}; }
    std::string package() const { return fileContents(dir_.file(kPackage)); }
    bool packageExists() const { return std::filesystem::exists(dir_.file(kPackage)); }

    TempDir dir_{"kestrane-webpkg-e2e"};
};

}  // namespace

TEST_F(WebPackageProgram, OnATerminalItWritesThePackageAndWaitsForAKey) {
    TerminalProcess program({binPath("web-package")}, options(true));
    ASSERT_TRUE(program.waitForOutput("\r\nPress any key to exit", 20000)) << visible(program.output());
    EXPECT_FALSE(program.waitForExit(300));
    ASSERT_TRUE(program.pressKeyUntilExit("x"));
    EXPECT_EQ(program.exitStatus(), 0) << program.errors();
    EXPECT_EQ(program.output().rfind("\r\n Firmware data is valid !\r\n\r\n Firmware CheckSum = ", 0), 0U)
        << visible(program.output());
    EXPECT_NE(program.output().find("\r\n Firmware data length = 117648 !\r\n\r\nPress any key to exit"),
              std::string::npos)
        << visible(program.output());
    EXPECT_EQ(program.terminal().find('x'), std::string::npos) << visible(program.terminal());
    const std::string file = package();
    EXPECT_EQ(file.rfind("TavRix\r\n284619\r\n1.0.6\r\n", 0), 0U);
    EXPECT_NE(file.find("\r\n117648\r\n"), std::string::npos);
    EXPECT_NE(file.back(), '\n');
}

TEST_F(WebPackageProgram, WithoutATerminalItEndsAtOnce) {
    TerminalProcess program({binPath("web-package")}, options(false));
    ASSERT_TRUE(program.waitForExit(20000)) << visible(program.output());
    EXPECT_EQ(program.exitStatus(), 0) << program.errors();
    EXPECT_NE(program.output().find("Press any key to exit"), std::string::npos);
    EXPECT_TRUE(packageExists());
}

TEST_F(WebPackageProgram, APackageThatCannotBeCreatedEndsWithANonZeroStatus) {
    std::filesystem::create_directory(dir_.file(kPackage));
    TerminalProcess program({binPath("web-package")}, options(false));
    ASSERT_TRUE(program.waitForExit(20000)) << visible(program.output());
    EXPECT_EQ(program.exitStatus(), 1);
    EXPECT_NE(program.output().find("ERROR: File does not exists\n"), std::string::npos) << visible(program.output());
    EXPECT_TRUE(std::filesystem::is_directory(dir_.file(kPackage)));
    // The console repeats its not-opened line for every step; standard error says why, once.
    // Windows reports a directory opened as a file as a refused access.
    const std::string cause = std::string("web-package: cannot write FwToUpload.bin: ") +
                              (testsWindowsPrograms() ? "Permission denied\n" : "Is a directory\n");
    const std::string& errors = program.errors();
    EXPECT_NE(errors.find(cause), std::string::npos) << errors;
    EXPECT_EQ(errors.find(cause), errors.rfind(cause)) << errors;
}

TEST_F(WebPackageProgram, HelpAndUnknownArgumentsWriteNoPackage) {
    const struct {
        const char* argument;
        int status;
        const char* shown;
    } cases[] = {{"--help", 0, "Usage: web-package"}, {"-h", 0, "Usage: web-package"}, {"--bogus", 64, "--help"}};
    for (const auto& c : cases) {
        TerminalProcess program({binPath("web-package"), c.argument}, options(false));
        ASSERT_TRUE(program.waitForExit(10000)) << c.argument;
        EXPECT_EQ(program.exitStatus(), c.status) << c.argument;
        EXPECT_NE((program.output() + program.errors()).find(c.shown), std::string::npos) << c.argument;
        EXPECT_FALSE(packageExists()) << c.argument;
    }
}
