// One whole upgrade under valgrind: no invalid access, nothing lost at the normal end.
#include <gtest/gtest.h>

#include <unistd.h>

#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

TEST(Valgrind, AWholeUpgradeShowsNoInvalidAccessAndNoLeak) {
#ifdef KESTRANE_SANITIZE_BUILD
    GTEST_SKIP() << "valgrind does not run sanitizer builds";
#endif
    if (access("/usr/bin/valgrind", X_OK) != 0) GTEST_SKIP() << "valgrind is not installed";
    PortDir ports;
    std::vector<std::string> options = {"--port", "3", "--rate", "9600", "--variant", "tx"};
    for (const std::string& option : testTimeOptions()) options.push_back(option);
    SimUnit unit(ports.path(), options);
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    TerminalProcess tool({"/usr/bin/valgrind", "--error-exitcode=99", "--leak-check=full",
                          "--errors-for-leak-kinds=definite,indirect,possible", binPath("KestraneFwUpgrade-testtime")},
                         {{ports.envEntry()}, true, ""});
    ASSERT_TRUE(tool.waitForOutput("Press any key to exit", 300000)) << visible(tool.output()) << tool.errors();
    ASSERT_TRUE(tool.pressKeyUntilExit("k", 3, 20000));
    EXPECT_EQ(tool.exitStatus(), 0) << tool.errors();
    EXPECT_NE(tool.output().find("The update was successful"), std::string::npos) << visible(tool.output());
    EXPECT_NE(tool.errors().find("ERROR SUMMARY: 0 errors"), std::string::npos) << tool.errors();
}
