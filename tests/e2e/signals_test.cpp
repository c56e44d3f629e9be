// Ctrl-C and SIGTERM at any moment: the terminal gets its settings back, the port is free
// for the next program at once, and the tool ends with a non-zero status. A second tool
// never uses a port the first one holds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

namespace {

const char* const kTool = "KestraneFwUpgrade-testtime";

std::vector<std::string> unitOptions() {
    std::vector<std::string> options = {"--port", "3", "--rate", "9600", "--variant", "tx"};
    for (const std::string& option : testTimeOptions()) options.push_back(option);
    return options;
}

// True when another program can take the device right now, exclusively.
bool portIsFree(const std::string& device) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    int exclusive = 1;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0 && ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
    close(fd);
    return free;
}

bool terminalIsCanonicalWithEcho(const TerminalProcess& tool) {
    struct termios settings;
    if (tcgetattr(tool.terminalFd(), &settings) != 0) return false;
    return (settings.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

TEST(Signals, DuringTheKeyWaitTheTerminalIsRestored) {
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        PortDir ports;
        TerminalProcess tool({binPath(kTool)}, {{ports.envEntry()}, true, ""});
        ASSERT_TRUE(tool.waitForOutput("Enter the COM port number : ", 20000));
        tool.type("9\r");
        ASSERT_TRUE(tool.waitForOutput("Press any key to exit", 5000));
        usleep(200000);  // the key wait has switched the terminal by now
        EXPECT_FALSE(terminalIsCanonicalWithEcho(tool));
        tool.sendSignal(signalNumber);
        ASSERT_TRUE(tool.waitForExit(5000));
        EXPECT_EQ(tool.exitStatus(), 128 + signalNumber);
        EXPECT_TRUE(terminalIsCanonicalWithEcho(tool));
    }
}

TEST(Signals, MidUploadThePortIsFreeAtOnce) {
    for (const int signalNumber : {SIGINT, SIGTERM}) {
        PortDir ports;
        SimUnit unit(ports.path(), unitOptions());
        ASSERT_TRUE(unit.ready()) << unit.startupText();
        TerminalProcess tool({binPath(kTool)}, {{ports.envEntry()}, true, ""});
        ASSERT_TRUE(tool.waitForOutput("Sending Programmable Logic data", 60000)) << visible(tool.output());
        EXPECT_FALSE(portIsFree(ports.path() + "/COM3"));
        tool.sendSignal(signalNumber);
        ASSERT_TRUE(tool.waitForExit(5000));
        EXPECT_EQ(tool.exitStatus(), 128 + signalNumber);
        EXPECT_TRUE(portIsFree(ports.path() + "/COM3"));
    }
}

TEST(Signals, ASecondToolDoesNotUseAPortTheFirstHolds) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions());
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    TerminalProcess first({binPath(kTool)}, {{ports.envEntry()}, true, ""});
    ASSERT_TRUE(first.waitForOutput("Preparing to Upload Programmable Logic", 60000)) << visible(first.output());
    TerminalProcess second({binPath(kTool)}, {{ports.envEntry()}, false, ""});
    ASSERT_TRUE(second.waitForExit(30000));
    EXPECT_NE(second.output().find("Baud Rate..................FAILED"), std::string::npos)
        << visible(second.output());
    EXPECT_EQ(second.exitStatus(), 255);
    // The first goes on undisturbed.
    EXPECT_TRUE(first.waitForOutput("Sending Programmable Logic data", 60000)) << visible(first.output());
    first.kill();
}

}  // namespace
