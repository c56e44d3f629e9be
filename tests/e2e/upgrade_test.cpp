// Whole upgrades: the test-time build of the tool against a simulated unit, each run's
// console compared byte for byte from the banner to the exit prompt.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
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

const int kTxLength = 1102544;
const int kRxLength = 1118736;
const int kMcuLength = 117648;
const char* const kTestTimeTool = "KestraneFwUpgrade-testtime";

struct ToolRun {
    std::string output;
    int status = -1;
};

// Runs the tool on a terminal until its exit prompt, then presses a key.
ToolRun runTool(const PortDir& ports, const char* program = kTestTimeTool, int timeoutMs = 120000) {
    TerminalProcess tool({binPath(program)}, {{ports.envEntry()}, true, ""});
    ToolRun run;
    const bool prompted = tool.waitForOutput("Press any key to exit", timeoutMs);
    EXPECT_TRUE(prompted) << visible(tool.output());
    EXPECT_TRUE(tool.pressKeyUntilExit());
    run.output = tool.output();
    run.status = tool.exitStatus();
    return run;
}

std::vector<std::string> unitOptions(const std::string& variant, int rate, std::vector<std::string> more = {}) {
    std::vector<std::string> options = {"--port", "3", "--rate", std::to_string(rate), "--variant", variant};
    const std::vector<std::string> time = testTimeOptions();
    options.insert(options.end(), time.begin(), time.end());
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

// The flat image and announcement of an image file, as fwimage makes them.
struct FlatImage {
    std::string bytes;
    std::string checksum;
    std::string length;
};

FlatImage flatImageOf(const std::string& hexFile) {
    char out[] = "/tmp/kestrane-flat-XXXXXX";
    const int fd = mkstemp(out);
    if (fd >= 0) close(fd);
    TerminalProcess fwimage({binPath("fwimage"), hexFile, "-o", out}, {{}, false, ""});
    EXPECT_TRUE(fwimage.waitForExit(30000));
    EXPECT_EQ(fwimage.exitStatus(), 0) << fwimage.errors();
    FlatImage image;
    image.bytes = fileContents(out);
    unlink(out);
    std::istringstream lines(fwimage.output());
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("checksum: ", 0) == 0) image.checksum = line.substr(10);
        if (line.rfind("length: ", 0) == 0) image.length = line.substr(8);
    }
    return image;
}

std::string sampleFile(const char* name) { return std::string(KESTRANE_SAMPLE_IMAGE_DIR) + "/" + name; }

// The speed field of every log event of a kind whose text contains `what` ("recv 9600
// ...", "send 9600 ...", "image l 115200 ...").
std::vector<std::string> speedsOf(const SimUnit& unit, const std::string& event, const std::string& what) {
    std::vector<std::string> speeds;
    for (const std::string& line : unit.events(event)) {
        if (line.find(what) == std::string::npos) continue;
        std::istringstream fields(line);
        std::string kind, speed;
        fields >> kind;
        if (event == "image") fields >> kind;
        fields >> speed;
        speeds.push_back(speed);
    }
    return speeds;
}

std::string txIdentification() { return versionLines("1.00.06", "XC7A35 1.06  device:1") + productTx(); }

TEST(Upgrade, TxUnitFoundAt9600) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions("tx", 9600));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const ToolRun run = runTool(ports);
    EXPECT_EQ(visible(run.output), visible(banner() + found(3, 9600) + txIdentification() + fpgaPhase(kTxLength) +
                                           firmwarePhase(kMcuLength) + reboot(true) + endOk()));
    EXPECT_EQ(run.status, 0);

    // The phase 1 command at the unit's rate, everything after it at 115200 up to the
    // reboot, the prompt read at the unit's rate again.
    EXPECT_EQ(speedsOf(unit, "recv", "fw -v"), std::vector<std::string>{"9600"});
    EXPECT_EQ(speedsOf(unit, "recv", "fw -l"), std::vector<std::string>{"9600"});
    EXPECT_EQ(speedsOf(unit, "image", "image l "), std::vector<std::string>{"115200"});
    EXPECT_EQ(speedsOf(unit, "recv", "fw -h"), std::vector<std::string>{"115200"});
    EXPECT_EQ(speedsOf(unit, "image", "image h "), std::vector<std::string>{"115200"});
    EXPECT_EQ(speedsOf(unit, "send", "[TX]>>"), std::vector<std::string>{"9600"});

    // What the unit received is exactly the flat images, as announced.
    const FlatImage fpga = flatImageOf(sampleFile("T284619_TX_XC7A35_1_06.mcs"));
    const FlatImage mcu = flatImageOf(sampleFile("T284619_MCU_6G-SDI_61_1_06.hex"));
    EXPECT_EQ(fpga.bytes.size(), static_cast<size_t>(kTxLength));
    EXPECT_TRUE(unit.saved("fpga.bin") == fpga.bytes);
    EXPECT_TRUE(unit.saved("mcu.bin") == mcu.bytes);
    EXPECT_EQ(unit.saved("announced.txt"), "l " + fpga.checksum + " " + fpga.length + " " + fpga.length + " " +
                                               fpga.checksum + " SUCCESS\n" + "h " + mcu.checksum + " " +
                                               mcu.length + " " + mcu.length + " " + mcu.checksum + " SUCCESS\n");
}

TEST(Upgrade, RxUnitFoundAt115200) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions("rx", 115200, {"--version", "2.10.123 XC7A35 3.4 1"}));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const ToolRun run = runTool(ports);
    EXPECT_EQ(visible(run.output),
              visible(banner() + found(3, 115200) + versionLines("2.10.123", "XC7A35 3.04  device:1") + productRx() +
                      fpgaPhase(kRxLength) + firmwarePhase(kMcuLength) + reboot(true) + endOk()));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(speedsOf(unit, "recv", "fw -p").size(), 2u);
    EXPECT_TRUE(unit.saved("fpga.bin") == flatImageOf(sampleFile("T284619_RX_XC7A35_1_06.mcs")).bytes);
}

// Runs that stop before the end: each fault with the whole console text it must give.
struct Fault {
    const char* name;
    std::vector<std::string> options;
    std::string afterLinkSetUp;  // everything between the link set-up and the last message
};

std::vector<Fault> faults() {
    const std::string sending = "Sending Programmable Logic data ................... ";
    const std::string preparing = "Preparing to Upload Programmable Logic ............ ";
    const std::string notMatched = "\r\nError: Expected response did  not matched !\r\n";
    return {
        {"DeviceCodeNot1", {"--version", "1.0.6 XC7A50 1.6 2"},
         versionLines("1.00.06", "XC7A50 1.06  device:2") + "Checking product .......... FAILED, Unknown product\r\n"},
        {"VersionOfAnotherForm", {"--version", "v1.0.6 XC7A35 1.6 1"},
         "Checking product .......... FAILED, Unknown product\r\n"},
        {"SeventhFieldMissing", {"--version", "1.0.6 XC7A35 1.6"},
         "Checking product .......... FAILED, Unknown product\r\n"},
        {"ProductDiffers", {"--fault", "wrong-product"}, versionLines("1.00.06", "XC7A35 1.06  device:1") +
                                                             "Checking product .......... FAILED\r\n"},
        {"NoReady", {"--fault", "no-ready"}, txIdentification() + preparing + "FAILED [Unit not ready]\r\n"},
        {"ReadyWithLineEnd", {"--fault", "ready-crlf"}, txIdentification() + preparing + "FAILED [Unit not ready]\r\n"},
        {"NoReadyForTheFirmware", {"--fault", "no-ready-h"},
         txIdentification() + fpgaPhase(kTxLength) + "Preparing to Upload Firmware ...................... " +
             "FAILED [Unit not ready]\r\n"},
        {"FpgaNotAccepted", {"--fault", "fail-l"},
         txIdentification() + preparing + "OK\r\n" + sending + progress(kTxLength) +
             "\r\nExpected : SUCCESS  received : FAILURE\r\n" + notMatched + "FAILED\r\n"},
        {"FirmwareNotAccepted", {"--fault", "fail-h"},
         txIdentification() + fpgaPhase(kTxLength) + "Preparing to Upload Firmware ...................... OK\r\n" +
             "Sending data ...................................... " + progress(kMcuLength) +
             "\r\nExpected : SUCCESS  received : FAILURE\r\n" + notMatched + "FAILED\r\n"},
    };
}

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class UpgradeFault : public ::testing::TestWithParam<Fault> {};

TEST_P(UpgradeFault, EndsWithItsOwnTextAndStatus1) {
    const Fault& fault = GetParam();
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions("tx", 9600, fault.options));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const ToolRun run = runTool(ports);
    EXPECT_EQ(visible(run.output), visible(banner() + found(3, 9600) + fault.afterLinkSetUp + endFailed()));
    EXPECT_EQ(run.status, 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, UpgradeFault, ::testing::ValuesIn(faults()),
                         [](const ::testing::TestParamInfo<Fault>& param) { return std::string(param.param.name); });

// A unit that goes away in the middle of an image: the phase fails at once, no hang.
TEST(Upgrade, UnitHangingUpMidImageFailsThePhasePromptly) {
    for (const char* fault : {"hangup-l", "hangup-h"}) {
        PortDir ports;
        SimUnit unit(ports.path(), unitOptions("tx", 9600, {"--fault", fault}));
        ASSERT_TRUE(unit.ready()) << unit.startupText();
        const ToolRun run = runTool(ports, kTestTimeTool, 60000);
        const std::string& out = run.output;
        const std::string tail = "FAILED\r\n" + endFailed();
        ASSERT_GE(out.size(), tail.size()) << visible(out);
        EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << fault << ": " << visible(out);
        EXPECT_EQ(out.find("100%"), out.rfind("100%")) << fault << ": the cut image never shows 100%";
        EXPECT_EQ(out.find("Expected :"), std::string::npos) << fault;
        EXPECT_EQ(run.status, 1);
    }
}

TEST(Upgrade, NoPromptAfterTheRebootIsStillAnUpload) {
    PortDir ports;
    SimUnit unit(ports.path(), unitOptions("tx", 9600, {"--fault", "no-prompt"}));
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    const ToolRun run = runTool(ports);
    EXPECT_EQ(visible(run.output), visible(banner() + found(3, 9600) + txIdentification() + fpgaPhase(kTxLength) +
                                           firmwarePhase(kMcuLength) + reboot(false) + endOk()));
    EXPECT_EQ(run.status, 0);
}

}  // namespace
