// Units that misbehave in every way a line can: floods, binary bytes, hang-ups at every
// step, garbage at the wrong rate, replies that trickle in. Each run ends by itself, in
// bounded time, with its exact console text and exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
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

// With no terminal the dialogue gets no number, and the run ends there.
const std::string kNoUnitFound = "FAILED\n\r\n\rEnter the COM port number : "
                                 "\r\nERROR: A decimal number was expected !\r\n\r\nPress any key to exit";
const std::string kPreparing = "Preparing to Upload Programmable Logic ............ ";
const std::string kNoVersion = "Checking product .......... FAILED, Unknown product\r\n";

struct Hostile {
    const char* name;
    std::vector<std::string> options;
    std::string console;  // everything after the banner
    int status;
};

void PrintTo(const Hostile& hostile, std::ostream* out) { *out << hostile.name; }

std::string found3At9600() { return found(3, 9600); }
std::string txVersion() { return versionLines("1.00.06", "XC7A35 1.06  device:1"); }

std::vector<Hostile> hostileUnits() {
    return {
        // Never silent: the exchange stops at a full buffer and counts it a mismatch.
        {"FloodAfterTheProbe", {"--fault", "flood-probe"}, kNoUnitFound, 255},
        {"FloodDuringIdentification", {"--fault", "flood-identify"},
         found3At9600() + txVersion() + "Checking product .......... FAILED\r\n" + endFailed(), 1},
        {"FloodAfterReady", {"--fault", "flood-upload"},
         found3At9600() + txVersion() + productTx() + kPreparing + "FAILED [Unit not ready]\r\n" + endFailed(), 1},
        // Zero bytes end a chunk's text; bytes of 0x80 and above are text like any other.
        {"BinaryBytesAroundEveryReply", {"--fault", "binary-replies"}, kNoUnitFound, 255},
        {"HighBytesInTheModel", {"--version", "1.0.6 XC\\xff\\x80 1.6 1", "--fault", "no-ready"},
         found3At9600() + versionLines("1.00.06", "XC\xff\x80 1.06  device:1") + productTx() + kPreparing +
             "FAILED [Unit not ready]\r\n" + endFailed(),
         1},
        {"ZeroByteInTheVersionReply", {"--version", "1.0.6 XC7A35\\x00 1.6 1"},
         found3At9600() + kNoVersion + endFailed(), 1},
        // Gone at each step before the images (the images have their own tests).
        {"HangUpAfterTheSearch", {"--fault", "hangup-after-probe"},
         found3At9600() + "\r\nError occurred when sending data !\r\n" + kNoVersion + endFailed(), 1},
        {"HangUpDuringIdentification", {"--fault", "hangup-identify"}, found3At9600() + kNoVersion + endFailed(), 1},
        // What a unit says at a wrong rate is no answer; the search goes on to its rate.
        {"GarbageAtTheWrongRate", {"--fault", "garbage-wrong-rate", "--fault", "hangup-identify"},
         found3At9600() + kNoVersion + endFailed(), 1},
        // Gaps shorter than the read time-out keep a reply together, longer ones cut it.
        // The version reply is a single read, so a trickling one never arrives whole.
        {"TrickleWithShortGaps", {"--fault", "trickle", "--gap-ms", "15"}, found3At9600() + kNoVersion + endFailed(), 1},
        {"TrickleWithLongGaps", {"--fault", "trickle", "--gap-ms", "120"}, kNoUnitFound, 255},
    };
}

class HostileUnit : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileUnit, EndsWithItsOwnTextAndStatusInBoundedTime) {
    const Hostile& hostile = GetParam();
    PortDir ports;
    std::vector<std::string> options = {"--port", "3", "--rate", "9600", "--variant", "tx"};
    for (const std::string& option : testTimeOptions()) options.push_back(option);
    options.insert(options.end(), hostile.options.begin(), hostile.options.end());
    SimUnit unit(ports.path(), options);
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    TerminalProcess tool({binPath("KestraneFwUpgrade-testtime")}, {{ports.envEntry()}, false, ""});
    ASSERT_TRUE(tool.waitForExit(90000)) << visible(tool.output());
    EXPECT_EQ(visible(tool.output()), visible(banner() + hostile.console));
    EXPECT_EQ(tool.exitStatus(), hostile.status) << tool.errors();
}

INSTANTIATE_TEST_SUITE_P(Units, HostileUnit, ::testing::ValuesIn(hostileUnits()),
                         [](const ::testing::TestParamInfo<Hostile>& param) { return std::string(param.param.name); });

}  // namespace
