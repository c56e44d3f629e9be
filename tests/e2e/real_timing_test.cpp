// One whole upgrade with the shipping program and its exact times (about three minutes):
// the test-time build divides every time-out and pause, this one shows the real ones hold.
#include <gtest/gtest.h>

#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "Transcript.h"

using namespace transcript;

TEST(RealTiming, ShippingProgramUpgradesATxUnitAt9600) {
    PortDir ports;
    SimUnit unit(ports.path(), {"--port", "3", "--rate", "9600", "--variant", "tx"});
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, true, ""});
    ASSERT_TRUE(tool.waitForOutput("Press any key to exit", 300000)) << visible(tool.output());
    ASSERT_TRUE(tool.pressKeyUntilExit());
    EXPECT_EQ(visible(tool.output()),
              visible(banner() + found(3, 9600) + versionLines("1.00.06", "XC7A35 1.06  device:1") + productTx() +
                      fpgaPhase(1102544) + firmwarePhase(117648) + reboot(true) + endOk()));
    EXPECT_EQ(tool.exitStatus(), 0);
}
