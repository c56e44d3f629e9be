// The console run as a user sees it: the tool with its standard input on a terminal, its
// whole output compared byte for byte, and its exit status.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "PortReport.h"
#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "firmware/BinImage.h"

namespace {

const std::string kBanner =
    "\n\rYou are about to upload the firmware version 1.0.6"
    "\n\r\n\rDetecting COM port and Baud Rate..................";
const std::string kSearchFailed = "FAILED\n\r\n\rEnter the COM port number : ";
const std::string kBaudPrompt = "\n\r\n\rEnter the BAUD RATE       : ";
const std::string kNotANumber = "\r\nERROR: A decimal number was expected !\r\n";
const std::string kUpgradeFailed = "\n\rERROR: The update was not successful.\r\n";
const std::string kPressAnyKey = "\r\nPress any key to exit";
// What identification writes about a unit that never answers.
const std::string kSilentUnit = "Checking product .......... FAILED, Unknown product\r\n";

std::string opening(const std::string& port) { return "\r\nOpening COM" + port + "...................."; }
std::string settingRate(const std::string& rate) { return "\r\nSetting baud rate at " + rate + ".........."; }

// Whether another program could take the device now (the tool holds flock while open).
bool deviceIsFree(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
}

struct Finished {
    std::string output;
    std::string terminal;  // what the user's screen echoed of the keys
    int status;
};

// Answers the dialogue's prompts in turn, then waits at the exit prompt: the program
// must still wait there (what was typed before does not count), and a key without Enter
// ends it. atKeyWait runs while the program waits for that key.
template <typename AtKeyWait>
Finished runDialogue(TerminalProcess& tool, const std::vector<std::string>& answers, AtKeyWait atKeyWait) {
    const char* const prompts[] = {"Enter the COM port number : ", "Enter the BAUD RATE       : "};
    for (size_t i = 0; i < answers.size(); ++i) {
        EXPECT_TRUE(tool.waitForOutput(prompts[i], 30000)) << visible(tool.output());
        tool.type(answers[i]);
    }
    EXPECT_TRUE(tool.waitForOutput(kPressAnyKey, 30000)) << visible(tool.output());
    EXPECT_FALSE(tool.waitForExit(500)) << "the key wait took input typed before it";
    atKeyWait();
    EXPECT_TRUE(tool.pressKeyUntilExit("x")) << "a single key without Enter ends the key wait";
    return {tool.output(), tool.terminal(), tool.exitStatus()};
}

Finished runDialogue(TerminalProcess& tool, const std::vector<std::string>& answers) {
    return runDialogue(tool, answers, [] {});
}

TEST(Entry, NoPortAtAllLeadsToTheDialogueAndAFailedOpen) {
    PortDir ports;  // nothing in it: all 32 probes fail in silence
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, true, ""});
    const Finished run = runDialogue(tool, {"7\r"});
    EXPECT_EQ(visible(run.output),
              visible(kBanner + kSearchFailed + opening("7") + "ERROR: Opening COM7 failed !" + kPressAnyKey));
    EXPECT_EQ(run.status, 255);
    // Wine's console echoes nothing to the Unix terminal it reads: not shown there.
    if (!testsWindowsPrograms()) {
        EXPECT_EQ(run.terminal, "7\r\n") << "the answer is echoed, the key is not";
    }
}

TEST(Entry, PortOpenedByHandAtARateEnteredByHand) {
    PortDir ports;
    PtyPort port(ports, 3);  // a line with no unit on it
    TerminalProcess tool({binPath("KestraneFwUpgrade-testtime")}, {{ports.envEntry()}, true, ""});
    // A second Enter after the rate stays behind in the terminal: it must not end the key wait.
    const Finished run = runDialogue(tool, {"3\r", "57600\r\r"}, [&port] {
        EXPECT_TRUE(deviceIsFree(port.linkPath())) << "the port is closed before the last message";
    });
    EXPECT_EQ(visible(run.output), visible(kBanner + kSearchFailed + opening("3") + "OK\r\n" + kBaudPrompt +
                                           settingRate("57600") + "OK\r\n" + kSilentUnit + kUpgradeFailed +
                                           kPressAnyKey));
    EXPECT_EQ(run.status, 1) << "a run that reached the upgrade and failed";
    EXPECT_EQ(run.terminal.find('x'), std::string::npos) << visible(run.terminal);
    // The line keeps what the tool set last: the rate entered, CTS flow control on.
    EXPECT_EQ(port.lineSpeed(), 57600u);
    EXPECT_TRUE(port.ctsFlowControl());
    EXPECT_TRUE(port.rawEightNOne());
    // The upgrade talked to the unit on that line.
    EXPECT_NE(port.read(200).find("%%%fw -v\n\r"), std::string::npos);
}

TEST(Entry, UnusableAnswersEndTheRunWithStatus255) {
    const struct {
        const char* name;
        std::vector<std::string> answers;
        std::string afterSearch;  // everything after the banner
    } cases[] = {
        {"port that does not exist", {"9\r"}, kSearchFailed + opening("9") + "ERROR: Opening COM9 failed !"},
        {"port zero", {"0\r"}, kSearchFailed + opening("0") + "ERROR: Opening COM0 failed !"},
        {"negative port", {"-3\r"}, kSearchFailed + opening("-3") + "ERROR: Opening COM-3 failed !"},
        {"refused rate zero", {"3\r", "0\r"}, kSearchFailed + opening("3") + "OK\r\n" + kBaudPrompt + settingRate("0")},
        {"refused negative rate",
         {"3\r", "-9600\r"},
         kSearchFailed + opening("3") + "OK\r\n" + kBaudPrompt + settingRate("-9600")},
        {"word for the port", {"abc\r"}, kSearchFailed + kNotANumber},
        {"number with a tail for the port", {"3x\r"}, kSearchFailed + kNotANumber},
        {"port beyond int", {"99999999999\r"}, kSearchFailed + kNotANumber},
        {"word for the rate", {"3\r", "fast\r"}, kSearchFailed + opening("3") + "OK\r\n" + kBaudPrompt + kNotANumber},
        {"hex for the rate", {"3\r", "0x1C200\r"}, kSearchFailed + opening("3") + "OK\r\n" + kBaudPrompt + kNotANumber},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PortDir ports;
        PtyPort port(ports, 3);
        TerminalProcess tool({binPath("KestraneFwUpgrade-testtime")}, {{ports.envEntry()}, true, ""});
        const Finished run = runDialogue(tool, c.answers, [&port] {
            EXPECT_TRUE(deviceIsFree(port.linkPath())) << "no port is left open";
        });
        EXPECT_EQ(visible(run.output), visible(kBanner + c.afterSearch + kPressAnyKey));
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(port.lineSpeed(), 1200u) << "the rate the search tried last stays";
    }
}

TEST(Entry, AnswersMayCarryBlanksAndEmptyLinesAreWaitedThrough) {
    PortDir ports;
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, true, ""});
    const Finished run = runDialogue(tool, {"\r  \r  +12 \r"});
    EXPECT_EQ(visible(run.output),
              visible(kBanner + kSearchFailed + opening("12") + "ERROR: Opening COM12 failed !" + kPressAnyKey));
    EXPECT_EQ(run.status, 255);
}

TEST(Entry, WithoutATerminalTheRunEndsAtOnce) {
    PortDir ports;
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, false, ""});
    ASSERT_TRUE(tool.waitForExit(20000)) << visible(tool.output());
    EXPECT_EQ(visible(tool.output()), visible(kBanner + kSearchFailed + kNotANumber + kPressAnyKey));
    EXPECT_EQ(tool.exitStatus(), 255);
    EXPECT_EQ(tool.errors(), portReport::noPortFound(ports)) << "the search's report, and nothing else";
}

TEST(Entry, SampleBuildWithoutPortDirectoryOpensNoPortAtAll) {
    if (!AUTOGEN_IS_SAMPLE_SET) GTEST_SKIP() << "built with real image files";
    // COM17 is /dev/ttyS0 in the fixed table; a sample build must not reach it, nor any
    // other real device.
    const struct {
        const char* number;
    } cases[] = {{"1"}, {"9"}, {"17"}, {"32"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        TerminalProcess tool({"/usr/bin/env", "-u", "COM_PORT_DIR", binPath("KestraneFwUpgrade")}, {{}, true, ""});
        const Finished run = runDialogue(tool, {std::string(c.number) + "\r"});
        EXPECT_EQ(visible(run.output), visible(kBanner + kSearchFailed + opening(c.number) + "ERROR: Opening COM" +
                                               c.number + " failed !" + kPressAnyKey));
        EXPECT_EQ(run.status, 255);
    }
}

// A request for help must not probe the machine's serial devices: a unit answering at the
// first rate of the search hears nothing. Only "--help" or "-h" alone asks for help; any
// other arguments are ignored and the run goes on as before.
TEST(Entry, HelpAloneShowsTheUsageAndTouchesNoPort) {
    const struct {
        std::vector<std::string> arguments;
        bool help;
    } cases[] = {
        {{"--help"}, true},
        {{"-h"}, true},
        {{"--help", "extra"}, false},
        {{"--version"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0] + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
        PortDir ports;
        std::vector<std::string> unitOptions = {"--port", "1", "--rate", "115200", "--fault", "silent"};
        for (const std::string& option : testTimeOptions()) unitOptions.push_back(option);
        SimUnit unit(ports.path(), unitOptions);
        ASSERT_TRUE(unit.ready()) << unit.startupText();
        std::vector<std::string> argv = {binPath("KestraneFwUpgrade-testtime")};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        TerminalProcess tool(argv, {{ports.envEntry()}, false, ""});
        ASSERT_TRUE(tool.waitForExit(30000)) << visible(tool.output());
        if (c.help) {
            EXPECT_EQ(tool.errors(), "");
            EXPECT_EQ(tool.exitStatus(), 0);
            EXPECT_EQ(tool.output().rfind("Usage: KestraneFwUpgrade\n", 0), 0u) << tool.output();
            for (const char* part : {"COM_PORT_DIR", "/dev/ttyUSB0-7", "/dev/ttyACM0-7", "/dev/ttyS0-15",
                                     "On Windows, COMn is the system's own COM port", "Exit status:", "255", "143"})
                EXPECT_NE(tool.output().find(part), std::string::npos) << part;
            EXPECT_EQ(unit.events("recv").size() + unit.events("noise").size(), 0u) << unit.log();
        } else {
            EXPECT_EQ(visible(tool.output()), visible(kBanner + kSearchFailed + kNotANumber + kPressAnyKey));
            EXPECT_EQ(tool.exitStatus(), 255);
            EXPECT_FALSE(unit.events("recv").empty()) << "the search probed the unit: " << unit.log();
            EXPECT_EQ(tool.errors(), portReport::header() + portReport::port(ports, 1, "no unit answered at any rate"));
        }
    }
}

// On Windows a sample build opens ports only under Wine, with COM_PORT_DIR naming the
// simulated ones: a unit that the system does offer as COM3 is left alone without it.
TEST(Entry, SampleBuildOnWindowsLeavesAPortAloneWithoutPortDirectory) {
    if (!testsWindowsPrograms()) GTEST_SKIP() << "the Windows build's own rule";
    if (!AUTOGEN_IS_SAMPLE_SET) GTEST_SKIP() << "built with real image files";
    PortDir ports;
    SimUnit unit(ports.path(), {});
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{"KESTRANE_WINE_PORTS=" + ports.path()}, true, ""});
    const Finished run = runDialogue(tool, {"3\r"});
    EXPECT_EQ(visible(run.output),
              visible(kBanner + kSearchFailed + opening("3") + "ERROR: Opening COM3 failed !" + kPressAnyKey));
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(unit.events("recv").empty()) << unit.log();
}

TEST(Entry, FailedAllocationAtStartIsAClearErrorNotACrash) {
    SKIP_UNDER_WINE("a data-segment limit small enough for the tool's buffers keeps Wine itself from starting");
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's own memory does not fit the limit";
#endif
    // 3 MiB of data segment: enough to start, too little for the 4 MiB flat image.
    PortDir ports;
    TerminalProcess tool({"/bin/sh", "-c", "ulimit -d 3072 && exec \"$0\"", binPath("KestraneFwUpgrade")},
                         {{ports.envEntry()}, true, ""});
    ASSERT_TRUE(tool.waitForExit(10000));
    EXPECT_EQ(tool.exitStatus(), 2);
    EXPECT_EQ(tool.output(), "") << "nothing is written before the buffers";
    EXPECT_EQ(tool.errors(), "KestraneFwUpgrade: not enough memory for the upgrade's buffers\n");
}

}  // namespace
