// The port search of the real tool against simulated units: what the console shows and
// what the units heard.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "Transcript.h"

namespace {

using namespace transcript;

const char* const kTool = "KestraneFwUpgrade-testtime";
const std::string kDialogue = "FAILED\n\r\n\rEnter the COM port number : ";

std::vector<std::string> unitOptions(int rate, std::vector<std::string> more = {}) {
    std::vector<std::string> options = {"--port", "3", "--rate", std::to_string(rate), "--variant", "tx"};
    const std::vector<std::string> time = testTimeOptions();
    options.insert(options.end(), time.begin(), time.end());
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

// Runs the tool until `text` shows (then stops it); returns the console so far.
std::string consoleUntil(const PortDir& ports, const std::string& text) {
    TerminalProcess tool({binPath(kTool)}, {{ports.envEntry()}, true, ""});
    EXPECT_TRUE(tool.waitForOutput(text, 60000)) << visible(tool.output());
    tool.kill();
    return tool.output();
}

std::vector<std::string> probesHeard(const SimUnit& unit) {
    std::vector<std::string> heard;
    for (const std::string& line : unit.events("recv"))
        if (line.find("help -c version") != std::string::npos) heard.push_back(line.substr(5, line.find(' ', 5) - 5));
    return heard;
}

TEST(PortSearch, FindsTheUnitOnCom3At9600AfterTwoSilentAttemptsAt115200) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions(9600));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const std::string console = consoleUntil(ports, "Baud rate       : 9600 \r\n\r\n");
    EXPECT_EQ(visible(console.substr(0, console.find("Checking"))), visible(banner() + found(3, 9600)));
    // At 115200 the unit hears only noise, twice; then one probe at its own rate.
    EXPECT_EQ(unit.events("noise").size(), 2u) << unit.log();
    for (const std::string& noise : unit.events("noise")) EXPECT_EQ(noise.rfind("noise 115200 ", 0), 0u) << noise;
    EXPECT_EQ(probesHeard(unit), std::vector<std::string>{"9600"});
}

TEST(PortSearch, AUnitThatAnswersOnlyTheSecondAttemptIsFoundAtThatRate) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions(115200, {"--fault", "second-probe-only"}));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const std::string console = consoleUntil(ports, "Baud rate       : 115200 \r\n\r\n");
    EXPECT_EQ(visible(console.substr(0, console.find("Checking"))), visible(banner() + found(3, 115200)));
    EXPECT_EQ(probesHeard(unit), (std::vector<std::string>{"115200", "115200"}));
}

TEST(PortSearch, APortHeldByAnotherProgramIsSkippedWithoutAByteWritten) {
    SKIP_UNDER_WINE("Wine does not refuse a second open of a serial device another process holds; "
                    "share mode 0 is enforced by Windows itself");
    PortDir ports;
    PtyPort held(ports, 1);
    const int holder = open(held.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    SimUnit unit(ports.path(), unitOptions(9600));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const std::string console = consoleUntil(ports, "Baud rate       : 9600 \r\n\r\n");
    EXPECT_EQ(visible(console.substr(0, console.find("Checking"))), visible(banner() + found(3, 9600)));
    EXPECT_EQ(held.read(50), "");
    close(holder);
}

TEST(PortSearch, AnEchoBeforeTheHelpTextIsNoMatch) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions(9600, {"--fault", "echo"}));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    EXPECT_EQ(visible(consoleUntil(ports, kDialogue)), visible(banner() + kDialogue));
    EXPECT_EQ(probesHeard(unit), (std::vector<std::string>{"9600", "9600"}));
}

TEST(PortSearch, NoPortAtAllEndsInTheDialogue) {
    PortDir ports;
    EXPECT_EQ(visible(consoleUntil(ports, kDialogue)), visible(banner() + kDialogue));
}

}  // namespace
