// The test harness itself: a program on a terminal, its output seen byte for byte.
#include <gtest/gtest.h>

#include "PtyPort.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

TEST(Harness, ToolOutputIsSeenUntranslatedAndTheKeyWaitIsReal) {
    PortDir ports;
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, true, ""});
    ASSERT_TRUE(tool.waitForOutput("Enter the COM port number : ", 20000)) << visible(tool.output());
    tool.type("7\r");
    ASSERT_TRUE(tool.waitForOutput("Press any key to exit", 5000)) << visible(tool.output());
    EXPECT_FALSE(tool.waitForExit(300));
    tool.type("x");
    ASSERT_TRUE(tool.waitForExit(5000));
    EXPECT_EQ(tool.exitStatus(), 255);
    EXPECT_NE(tool.output().find("\r\nOpening COM7....................ERROR: Opening COM7 failed !\r\nPress any key to exit"),
              std::string::npos)
        << visible(tool.output());
    EXPECT_EQ(tool.terminal().find('x'), std::string::npos) << visible(tool.terminal());
}
