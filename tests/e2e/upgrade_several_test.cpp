// tools/upgrade-several.sh: several simulated units upgraded side by side by the test-time
// build of the tool, one port directory each. Bad arguments start nothing; an interrupted
// run leaves no tool behind and says where each unit was; the state of every unit is
// shown while it runs, and each console is kept raw and readable.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TempDir.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "Transcript.h"

namespace {

const std::string kScript = std::string(KESTRANE_SOURCE_DIR) + "/tools/upgrade-several.sh";
const std::string kTool = binPath("KestraneFwUpgrade-testtime");

std::vector<std::string> unitOptions(const std::string& variant, int port, int rate,
                                     std::vector<std::string> more = {}) {
    std::vector<std::string> options = {"--port", std::to_string(port), "--rate", std::to_string(rate),
                                        "--variant", variant};
    for (const std::string& option : testTimeOptions()) options.push_back(option);
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

std::vector<std::string> scriptArgv(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"/bin/bash", kScript};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// The lines of `output` that start with "<dir>: ", without that prefix.
std::vector<std::string> linesAbout(const std::string& output, const std::string& dir) {
    std::vector<std::string> found;
    for (const std::string& line : linesOf(output))
        if (line.rfind(dir + ": ", 0) == 0) found.push_back(line.substr(dir.size() + 2));
    return found;
}

// Processes of this machine whose environment names the port directory: the tools the
// script started for it.
std::vector<pid_t> toolsRunningFor(const std::string& portDir) {
    const std::string wanted = "COM_PORT_DIR=" + portDir;
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/environ", std::ios::binary);
        std::string variable;
        while (std::getline(in, variable, '\0'))
            if (variable == wanted) found.push_back(static_cast<pid_t>(atoi(entry->d_name)));
    }
    closedir(proc);
    return found;
}

// Fails the test for every tool still running for the directory, and ends it.
void expectNoToolRunningFor(const std::string& portDir) {
    for (const pid_t pid : toolsRunningFor(portDir)) {
        ADD_FAILURE() << "a tool still runs for " << portDir << ": process " << pid;
        kill(pid, SIGKILL);
    }
}

bool waitForLogText(const std::vector<std::string>& dirs, const std::string& text, TerminalProcess& script,
                    int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        bool all = true;
        for (const std::string& dir : dirs)
            all = all && fileContents(dir + "/upgrade.log").find(text) != std::string::npos;
        if (all) return true;
        script.output();  // keeps the pipes drained
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// What each unit's line goes through in a whole upgrade, one line per state, no percentages.
const std::vector<std::string> kStates = {"searching", "identifying", "FPGA image", "firmware", "rebooting"};

}  // namespace

TEST(UpgradeSeveral, BadArgumentsAreRefusedBeforeAnyUpgradeStarts) {
    PortDir unit;
    SimUnit sim(unit.path(), unitOptions("tx", 3, 9600));
    ASSERT_TRUE(sim.ready()) << sim.startupText();
    TempDir other("kestrane-several");
    const std::string missing = other.file("missing");
    const std::string noPort = other.file("no-port");
    const std::string plainFile = other.file("file");
    mkdir(noPort.c_str(), 0700);
    std::ofstream(plainFile) << "x";
    const std::string& a = unit.path();
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"--tool", kTool, a, missing}, "is not a directory"},
        {{"--tool", kTool, a, plainFile}, "is not a directory"},
        {{"--tool", kTool, a, noPort}, "holds no COMn port"},
        {{"--tool", kTool, a, a}, "are the same directory"},
        {{"--tool", kTool, a, "--bogus"}, "unknown option --bogus"},
        {{"--tool", missing, a}, "is not an executable program"},
        {{"--tool", kTool}, "no PORT_DIR given"},
        {{a, "--tool"}, "--tool needs a program"},
        {{}, "no PORT_DIR given"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TerminalProcess script(scriptArgv(c.arguments), {{}, false, ""});
        ASSERT_TRUE(script.waitForExit(10000));
        EXPECT_EQ(script.exitStatus(), 2);
        EXPECT_EQ(script.output(), "");
        EXPECT_NE(script.errors().find(c.message), std::string::npos) << script.errors();
        EXPECT_NE(script.errors().find("try --help"), std::string::npos) << script.errors();
        EXPECT_EQ(script.errors().find("unbound variable"), std::string::npos) << script.errors();
    }
    // A started tool would have probed the unit by now: 115200 first, noise at 9600.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(exists(a + "/upgrade.log"));
    expectNoToolRunningFor(a);
    EXPECT_EQ(sim.events("recv").size() + sim.events("noise").size(), 0u) << sim.log();

    TerminalProcess help(scriptArgv({"--help"}), {{}, false, ""});
    ASSERT_TRUE(help.waitForExit(10000));
    EXPECT_EQ(help.exitStatus(), 0);
    EXPECT_NE(help.output().find("tools/upgrade-several.sh [--tool PROGRAM] PORT_DIR..."), std::string::npos)
        << help.output();
}

// Without a terminal: a line whenever a unit's state changes, its verdict at the end; the
// console of each unit as the tool wrote it, and a readable copy beside it.
TEST(UpgradeSeveral, ThreeUnitsSideBySideReportEachStateAndVerdict) {
    PortDir tx;
    PortDir rx;
    PortDir failing;
    SimUnit txUnit(tx.path(), unitOptions("tx", 3, 9600));
    SimUnit rxUnit(rx.path(), unitOptions("rx", 5, 57600));
    SimUnit failingUnit(failing.path(), unitOptions("tx", 1, 115200, {"--fault", "fail-h"}));
    ASSERT_TRUE(txUnit.ready() && rxUnit.ready() && failingUnit.ready());
    TerminalProcess script(scriptArgv({"--tool", kTool, tx.path(), rx.path(), failing.path()}), {{}, false, ""});
    ASSERT_TRUE(script.waitForExit(180000));
    EXPECT_EQ(script.exitStatus(), 1) << script.output() << script.errors();
    EXPECT_EQ(script.errors(), "");
    const std::string output = script.output();

    std::vector<std::string> upgraded = kStates;
    upgraded.push_back("upgraded (exit status 0)");
    EXPECT_EQ(linesAbout(output, tx.path()), upgraded) << output;
    EXPECT_EQ(linesAbout(output, rx.path()), upgraded) << output;
    std::vector<std::string> failed(kStates.begin(), kStates.end() - 1);
    failed.push_back("upgrade failed during the firmware (100%), see " + failing.path() +
                     "/upgrade.txt (exit status 1)");
    EXPECT_EQ(linesAbout(output, failing.path()), failed) << output;
    EXPECT_EQ(linesOf(output).size(), upgraded.size() * 2 + failed.size()) << "no other line: " << output;

    using namespace transcript;
    const std::string raw = fileContents(tx.path() + "/upgrade.log");
    EXPECT_NE(raw.find(found(3, 9600) + versionLines("1.00.06", "XC7A35 1.06  device:1") + productTx()),
              std::string::npos)
        << visible(raw);
    EXPECT_NE(raw.find(reboot(true)), std::string::npos) << "the log keeps the backspaces: " << visible(raw);
    EXPECT_NE(fileContents(rx.path() + "/upgrade.log").find(productRx()), std::string::npos);

    const std::string readable = fileContents(tx.path() + "/upgrade.txt");
    EXPECT_EQ(readable.find_first_of("\b\r"), std::string::npos) << visible(readable);
    for (const char* line : {"\nDetecting COM port and Baud Rate..................OK\n",
                             "\nSending Programmable Logic data ................... 100%OK\n",
                             "\nSending data ...................................... 100% OK\n",
                             "\nPlease wait while the unit is rebooting ........... 100%\n",
                             "\nThe update was successful, the unit is now operational\n"})
        EXPECT_NE(readable.find(line), std::string::npos) << line << visible(readable);
    EXPECT_EQ(readable.substr(readable.size() - 22), "Press any key to exit\n");
}

// On a terminal each unit keeps one line, rewritten in place until it shows the verdict.
TEST(UpgradeSeveral, OnATerminalEachUnitHasOneLineChangingInPlace) {
    if (system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) to lend a terminal";
    PortDir tx;
    PortDir rx;
    SimUnit txUnit(tx.path(), unitOptions("tx", 3, 9600));
    SimUnit rxUnit(rx.path(), unitOptions("rx", 5, 57600));
    ASSERT_TRUE(txUnit.ready() && rxUnit.ready());
    const std::string command = "stty cols 200; exec /bin/bash '" + kScript + "' --tool '" + kTool + "' '" +
                                tx.path() + "' '" + rx.path() + "'";
    TerminalProcess script({"/usr/bin/env", "script", "-qfec", command, "/dev/null"}, {{}, false, ""});
    ASSERT_TRUE(script.waitForExit(180000));
    EXPECT_EQ(script.exitStatus(), 0) << visible(script.output());
    const std::string screen = script.output();

    const std::string up = "\033[2A";
    ASSERT_NE(screen.find(up), std::string::npos) << visible(screen);
    EXPECT_NE(screen.find(tx.path() + ": FPGA image"), std::string::npos) << visible(screen);
    EXPECT_NE(screen.find(tx.path() + ": rebooting "), std::string::npos) << "with its percentage";
    // The last drawing, after the last move up: the two verdicts, nothing below them.
    const std::string last = screen.substr(screen.rfind(up) + up.size());
    EXPECT_EQ(visible(last), visible("\r\033[K" + tx.path() + ": upgraded (exit status 0)\r\n\r\033[K" + rx.path() +
                                     ": upgraded (exit status 0)\r\n"));
}

// Ctrl-C or SIGTERM to the script: every upgrade still running is stopped, not left to go
// on unseen, and each unit's line says where it was.
TEST(UpgradeSeveral, InterruptedRunStopsEveryUpgradeAndReportsEachUnit) {
    const struct {
        int signalNumber;
        const char* waitFor;  // the console text both units show before the signal
        const char* expected;
    } cases[] = {
        {SIGINT, "Please wait while the unit is rebooting",
         "stopped during the reboot: both images were sent, the unit's return was not checked (exit status 143)"},
        {SIGTERM, "Detecting COM port", "stopped during "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(strsignal(c.signalNumber));
        PortDir first;
        PortDir second;
        SimUnit tx(first.path(), unitOptions("tx", 3, 9600));
        SimUnit rx(second.path(), unitOptions("rx", 5, 57600));
        ASSERT_TRUE(tx.ready() && rx.ready());
        TerminalProcess script(scriptArgv({"--tool", kTool, first.path(), second.path()}), {{}, false, ""});
        ASSERT_TRUE(waitForLogText({first.path(), second.path()}, c.waitFor, script, 60000));
        script.sendSignal(c.signalNumber);
        ASSERT_TRUE(script.waitForExit(20000));
        EXPECT_EQ(script.exitStatus(), 128 + c.signalNumber);
        EXPECT_NE(script.errors().find("interrupted"), std::string::npos) << script.errors();
        for (const std::string& dir : {first.path(), second.path()}) {
            SCOPED_TRACE(dir);
            expectNoToolRunningFor(dir);
            const std::vector<std::string> lines = linesAbout(script.output(), dir);
            ASSERT_FALSE(lines.empty()) << script.output();
            EXPECT_EQ(lines.back().rfind(c.expected, 0), 0u) << lines.back();
            EXPECT_TRUE(exists(dir + "/upgrade.txt"));
        }
    }
}
