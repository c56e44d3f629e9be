// The serial port module of the Windows build, under Wine, against pseudo-terminals:
// its records, the setters' rule, the open's messages and the read time-out rule, which
// on Windows the system's driver keeps. serial-driver runs the module step by step; the
// Linux module has the same cases in-process (unit/com_port_api_test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PtyPort.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

namespace {

class SerialRules : public testing::Test {
protected:
    void SetUp() override {
        if (!testsWindowsPrograms()) GTEST_SKIP() << "the Linux module has these cases in com_port_api_test";
    }

    // Runs serial-driver with these steps over the port directory; the driver's whole
    // output once it has ended.
    std::string run(const std::vector<std::string>& steps) {
        TerminalProcess driver = start(steps);
        EXPECT_TRUE(driver.waitForExit(60000)) << visible(driver.output());
        EXPECT_EQ(driver.exitStatus(), 0) << driver.errors();
        return driver.output();
    }

    std::vector<std::string> command(const std::vector<std::string>& steps) const {
        std::vector<std::string> argv = {binPath("serial-driver")};
        argv.insert(argv.end(), steps.begin(), steps.end());
        return argv;
    }

    TerminalProcess start(const std::vector<std::string>& steps) {
        return TerminalProcess(command(steps), {{ports_.envEntry()}, true, ""});
    }

    PortDir ports_;
};

// "read=1 n=3 ms=500 bytes=616263" -> its time in milliseconds.
long readTime(const std::string& output, size_t from = 0) {
    const size_t at = output.find(" ms=", output.find("read=", from));
    return at == std::string::npos ? -1 : std::stol(output.substr(at + 4));
}

TEST_F(SerialRules, RecordsStartWithTheDocumentedValuesAndSettersStoreWithoutAPort) {
    PtyPort port(ports_, 3);
    const std::string output =
        run({"records", "baud", "57600", "baud", "57600", "timeout", "250", "cts", "0", "records", "open", "3"});
    const std::string expected =
        "cto=500,0,500,0,0 dcb=28,9600,0x1015,0,256,256,8,0,0,28,0x11,0x13,0x3F,0x1A,0x10,0,20\n"
        "set=0\n"   // a new rate while no port is open: stored, reported as not applied
        "set=1\n"   // the same rate again: nothing to do
        "set=0\n"   // time-out: both read limits
        "set=0\n"   // CTS flow control off: that flag alone
        "cto=250,0,250,0,0 dcb=28,57600,0x1011,0,256,256,8,0,0,28,0x11,0x13,0x3F,0x1A,0x10,0,20\n"
        "\nopen=1\n";
    EXPECT_EQ(visible(output), visible(expected));
    // The open applied what was stored.
    EXPECT_EQ(port.lineSpeed(), 57600u);
    EXPECT_FALSE(port.ctsFlowControl());
    EXPECT_TRUE(port.rawEightNOne());
}

TEST_F(SerialRules, OpenFailuresPrintTheirMessagesWithoutALineFeed) {
    PtyPort port(ports_, 3);
    const std::string output = run({"open", "5", "open", "0", "open", "-4", "baud", "0", "open", "3", "read", "10",
                                    "write", "x"});
    EXPECT_EQ(visible(output), visible("ERROR: Opening COM5 failed !\nopen=0\n"
                                       "ERROR: Opening COM0 failed !\nopen=0\n"
                                       "ERROR: Opening COM-4 failed !\nopen=0\n"
                                       "set=0\n"
                                       "ERROR: COM3 configuration failed !\nopen=0\n"
                                       "read=0 n=0 ms=0 bytes=\n"
                                       "write=0 n=0\n"));
    EXPECT_EQ(port.read(300), "") << "nothing reaches a port whose open failed";
}

TEST_F(SerialRules, AReadLastsItsTimeoutAndBytesFromBeforeTheOpenAreNeverRead) {
    PtyPort port(ports_, 3);
    port.write("old");  // before the open: purged
    TerminalProcess driver = start({"open", "3", "read", "100", "wait", "read", "100", "write", "hello"});
    ASSERT_TRUE(driver.waitForOutput("waiting\n", 60000)) << visible(driver.output());
    port.write("abc");  // arrives early in the next read, which still lasts T
    driver.type("\r");
    ASSERT_TRUE(driver.waitForExit(60000)) << visible(driver.output());
    const std::string output = driver.output();
    EXPECT_NE(output.find("\nopen=1\nread=1 n=0 "), std::string::npos) << visible(output);
    EXPECT_NE(output.find("read=1 n=3 ms="), std::string::npos) << visible(output);
    EXPECT_NE(output.find("bytes=616263\nwrite=1 n=5\n"), std::string::npos) << visible(output);
    const size_t second = output.find("waiting");
    for (const long ms : {readTime(output), readTime(output, second)}) {
        EXPECT_GE(ms, 450) << "a read that does not fill its buffer lasts T = 500 ms";
        EXPECT_LE(ms, 1500);
    }
    EXPECT_EQ(port.read(1000), "hello");
}

}  // namespace
