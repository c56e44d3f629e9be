// The unit simulator on its own, driven from the test as the tool would drive it: a port
// of the port directory, the line speed set with termios2, framed commands, replies read
// until the line is quiet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PtyPort.h"
#include "SimClient.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

namespace {

const std::string kHelp = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";
const std::string kTxProduct = "Tavrix 6G SDI EXTENDER OVER FIBER TX\r\n>>";
const std::string kRxProduct = "Tavrix 6G SDI EXTENDER OVER FIBER RX\r\n>>";
const int kQuietMs = 100;

int64_t msNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string imageOf(size_t length, uint32_t seed) {
    std::string bytes(length, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

uint32_t checksumOf(const std::string& bytes) {
    uint32_t sum = 0;
    for (const char byte : bytes) sum -= static_cast<unsigned char>(byte);
    return sum;
}

std::string announcement(char kind, const std::string& image) {
    return std::string("%fw -") + kind + " " + std::to_string(checksumOf(image)) + " " + std::to_string(image.size());
}

// The time stamp of the first log line holding text.
int64_t loggedAt(const std::string& log, const std::string& text) {
    const size_t at = log.find(text);
    if (at == std::string::npos) return -1;
    const size_t lineStart = log.rfind('\n', at);
    return std::stoll(log.substr(lineStart == std::string::npos ? 0 : lineStart + 1));
}

bool waitUntilGone(const std::string& path, int timeoutMs) {
    for (const int64_t end = msNow() + timeoutMs; msNow() < end; usleep(10000)) {
        if (access(path.c_str(), F_OK) != 0) return true;
    }
    return false;
}

class UnitSim : public ::testing::Test {
protected:
    void start(const std::vector<std::string>& options) {
        sim_ = std::make_unique<SimUnit>(ports_.path(), options);
        ASSERT_TRUE(sim_->ready()) << sim_->startupText();
        client_ = std::make_unique<SimClient>(link());
        ASSERT_TRUE(client_->isOpen());
    }
    std::string link() const { return ports_.path() + "/COM3"; }
    std::string ask(const std::string& command, uint32_t speed = 9600, int quietMs = kQuietMs) {
        EXPECT_TRUE(client_->setSpeed(speed));
        EXPECT_TRUE(client_->command(command));
        return client_->reply(quietMs);
    }
    // An image at 115200 and the unit's reply to it.
    std::string upload(const std::string& image, int quietMs = kQuietMs) {
        EXPECT_TRUE(client_->setSpeed(115200));
        EXPECT_TRUE(client_->write(image));
        return client_->reply(quietMs);
    }

    PortDir ports_;
    std::unique_ptr<SimUnit> sim_;
    std::unique_ptr<SimClient> client_;
};

TEST_F(UnitSim, AnnouncesItselfAndAnswersTheProbeOnlyAtItsOwnRate) {
    start({"--rate", "57600"});
    char target[256] = {};
    ASSERT_GT(readlink(link().c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim_->startupText(), std::string("unit-sim: COM3 ") + target + " TX 57600\n");

    for (const uint32_t wrongSpeed : {115200u, 9600u, 4800u}) {
        EXPECT_EQ(ask("%help -c version", wrongSpeed), "") << wrongSpeed;
    }
    const std::string help = ask("%help -c version", 57600);
    EXPECT_EQ(help.size(), 74u);
    EXPECT_EQ(help, kHelp) << visible(help);
    EXPECT_EQ(sim_->events("noise"),
              (std::vector<std::string>{"noise 115200 20", "noise 9600 20", "noise 4800 20"}));
    EXPECT_EQ(sim_->events("recv"), std::vector<std::string>{"recv 57600 %%%help -c version\\n\\r"});
}

TEST_F(UnitSim, IdentifiesItselfAsAskedOnTheCommandLine) {
    struct Case {
        std::vector<std::string> options;
        std::string command;
        std::string reply;
    };
    const Case cases[] = {
        {{}, "%fw -v", "1.0.6 XC7A35 1.6 1\r\n>>"},
        {{}, "%fw -p", kTxProduct},
        {{"--variant", "rx"}, "%fw -p", kRxProduct},
        {{"--variant", "rx"}, "%fw -v", "1.0.6 XC7A35 1.6 1\r\n>>"},
        {{"--version", "2.1.0 XC7A200 3.4 5"}, "%fw -v", "2.1.0 XC7A200 3.4 5\r\n>>"},
        {{"--version", "1\\x00.0\\xff\\r\\n"}, "%fw -v", std::string("1\0.0\xff\r\n\r\n>>", 11)},
        {{"--product", "Other unit\\n\\r"}, "%fw -p", "Other unit\n\r"},
        {{"--fault", "wrong-product"}, "%fw -p", "Tavrix 6G SDI EXTENDER OVER FIBER TX\r\n"},
        {{"--variant", "rx", "--fault", "wrong-product"}, "%fw -p", "Tavrix 6G SDI EXTENDER OVER FIBER RX\r\n"},
        {{}, "%fw -x", ""},
        {{}, "%FW -V", ""},
        {{}, "fw -v ", ""},
    };
    for (const Case& c : cases) {
        PortDir ports;
        SimUnit sim(ports.path(), c.options);
        ASSERT_TRUE(sim.ready()) << sim.startupText();
        SimClient client(ports.path() + "/COM3");
        ASSERT_TRUE(client.command(c.command));
        const std::string reply = client.reply(kQuietMs);
        EXPECT_EQ(reply, c.reply) << c.command << " -> " << visible(reply);
    }
}

TEST_F(UnitSim, TakesBothImagesAt115200AndRebootsToItsPromptAtItsOwnRate) {
    start({"--time-divisor", "50"});
    const std::string fpga = imageOf(30000, 1);
    const std::string mcu = imageOf(10241, 2);

    EXPECT_EQ(ask(announcement('l', fpga), 9600), "Ready");
    EXPECT_EQ(upload(fpga), "SUCCESS");
    EXPECT_EQ(ask(announcement('h', mcu), 115200), "Ready");
    // The banner comes 10 s (here / 50) after SUCCESS: read as briefly as the tool would.
    EXPECT_EQ(upload(mcu, 30), "SUCCESS");

    // Deaf while it reboots; then the banner and, 145.5 s (here / 50) after SUCCESS, the prompt.
    EXPECT_EQ(ask("%help -c version", 9600, 30), "");
    const std::string boot = client_->readFor(3200);
    EXPECT_EQ(boot, "\r\nKestrane 6G SDI boot 1.0.6\r\n[TX]>>") << visible(boot);
    EXPECT_EQ(ask("%help -c version", 9600), kHelp);

    EXPECT_EQ(sim_->saved("fpga.bin"), fpga);
    EXPECT_EQ(sim_->saved("mcu.bin"), mcu);
    EXPECT_EQ(sim_->saved("announced.txt"),
              "l " + std::to_string(checksumOf(fpga)) + " 30000 30000 " + std::to_string(checksumOf(fpga)) +
                  " SUCCESS\n" + "h " + std::to_string(checksumOf(mcu)) + " 10241 10241 " +
                  std::to_string(checksumOf(mcu)) + " SUCCESS\n");
    EXPECT_EQ(sim_->events("image"),
              (std::vector<std::string>{"image l 115200 30000 " + std::to_string(checksumOf(fpga)) + " SUCCESS",
                                        "image h 115200 10241 " + std::to_string(checksumOf(mcu)) + " SUCCESS"}));
    const std::vector<std::string> received = sim_->events("recv");
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].rfind("recv 9600 %%%fw -l ", 0), 0u) << received[0];
    EXPECT_EQ(received[1].rfind("recv 115200 %%%fw -h ", 0), 0u) << received[1];

    const std::string log = sim_->log();
    const int64_t lastSuccess = loggedAt(log.substr(log.find("upload h")), "send 115200 SUCCESS");
    ASSERT_GE(lastSuccess, 0) << log;
    const int64_t banner = loggedAt(log, "send 9600 \\r\\nKestrane");
    const int64_t prompt = loggedAt(log, "send 9600 [TX]>>");
    EXPECT_NEAR(banner - lastSuccess, 200, 40) << log;
    EXPECT_NEAR(prompt - lastSuccess, 2910, 40) << log;
}

TEST_F(UnitSim, ReportsFailureForWrongOrMissingImageBytes) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        uint32_t checksumOffset;
        size_t bytesSent;
        std::string reply;
        std::string verdict;
    };
    const Case cases[] = {
        {"wrong checksum", {}, 1, 4000, "FAILURE", "FAILURE"},
        {"fail-l", {"--fault", "fail-l"}, 0, 4000, "FAILURE", "FAILURE"},
        {"image cut short, abandoned", {}, 0, 3000, "", "FAILURE"},
    };
    for (const Case& c : cases) {
        PortDir ports;
        std::vector<std::string> options = {"--time-divisor", "100"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        SimUnit sim(ports.path(), options);
        ASSERT_TRUE(sim.ready()) << sim.startupText();
        SimClient client(ports.path() + "/COM3");
        const std::string image = imageOf(4000, 3);
        const uint32_t announced = checksumOf(image) + c.checksumOffset;
        ASSERT_TRUE(client.command("%fw -l " + std::to_string(announced) + " 4000"));
        EXPECT_EQ(client.reply(kQuietMs), "Ready") << c.what;
        ASSERT_TRUE(client.setSpeed(115200));
        ASSERT_TRUE(client.write(image.substr(0, c.bytesSent)));
        // An abandoned upload ends after 60 s (here / 100) without a byte.
        EXPECT_EQ(client.reply(800), c.reply) << c.what;
        const std::string sent = image.substr(0, c.bytesSent);
        EXPECT_EQ(sim.saved("announced.txt"), "l " + std::to_string(announced) + " 4000 " +
                                                  std::to_string(c.bytesSent) + " " +
                                                  std::to_string(checksumOf(sent)) + " " + c.verdict + "\n")
            << c.what;
        // A failed upload leaves the unit at its own rate, ready for another try.
        ASSERT_TRUE(client.setSpeed(9600));
        ASSERT_TRUE(client.command("%help -c version"));
        EXPECT_EQ(client.reply(kQuietMs), kHelp) << c.what;
    }
}

TEST_F(UnitSim, ReadiesOnlyForWellFormedAnnouncements) {
    start({});
    for (const char* malformed : {"%fw -l", "%fw -l 12", "%fw -l x 4", "%fw -l 12 -4", "%fw -l 12  4",
                                  "%fw -l 4294967296 4", "%fw -l 12 4 5", "%fw -h 12 99999999999"}) {
        EXPECT_EQ(ask(malformed), "") << malformed;
    }
    const std::string log = sim_->log();
    size_t refused = 0;
    for (size_t at = log.find("malformed upload command"); at != std::string::npos; at = log.find("malformed", at + 1)) ++refused;
    EXPECT_EQ(refused, 8u) << log;
    // An empty image: "Ready" and nothing after it, as the tool reads nothing then.
    EXPECT_EQ(ask("%fw -l 0 0"), "Ready");
    EXPECT_EQ(ask("%fw -h 4294967286 4", 115200), "Ready");
    EXPECT_EQ(upload(std::string("\x01\x02\x03\x04", 4)), "SUCCESS");
    EXPECT_EQ(sim_->saved("announced.txt"), "l 0 0 0 0 SUCCESS\nh 4294967286 4 4 4294967286 SUCCESS\n");
}

TEST_F(UnitSim, MisbehavesOnRequest) {
    struct Step {
        uint32_t speed;
        std::string command;
        std::string reply;
    };
    struct Case {
        const char* fault;
        std::vector<Step> steps;
    };
    const std::string ready = "%fw -l 4294967286 4";
    const Case cases[] = {
        {"silent", {{9600, "%help -c version", ""}, {9600, "%fw -v", ""}, {9600, ready, ""}}},
        {"second-probe-only",
         {{115200, "%help -c version", ""},
          {9600, "%help -c version", ""},
          {9600, "%help -c version", kHelp},
          {9600, "%help -c version", ""},
          {9600, "%help -c version", kHelp}}},
        {"echo", {{9600, "%help -c version", "%%%help -c version\n\r" + kHelp}, {9600, ready, "%%%" + ready.substr(1) + "\n\rReady"}}},
        {"binary-replies", {{9600, "%help -c version", std::string("\0\xff", 2) + kHelp + std::string("\x80\0", 2)}}},
        {"ready-crlf", {{9600, ready, "Ready\r\n"}}},
        {"no-ready", {{9600, ready, ""}, {9600, "%fw -h 4294967286 4", "Ready"}}},
        {"no-ready-h", {{9600, "%fw -h 4294967286 4", ""}, {9600, ready, "Ready"}}},
        {"garbage-wrong-rate",
         {{115200, "%help -c version", std::string("\xf8\x80\x00\xfe\x1c", 5)}, {9600, "%help -c version", kHelp}}},
        {"trickle", {{9600, "%help -c version", kHelp}}},
    };
    for (const Case& c : cases) {
        PortDir ports;
        SimUnit sim(ports.path(), {"--fault", c.fault});
        ASSERT_TRUE(sim.ready()) << sim.startupText();
        SimClient client(ports.path() + "/COM3");
        for (const Step& step : c.steps) {
            ASSERT_TRUE(client.setSpeed(step.speed));
            ASSERT_TRUE(client.command(step.command));
            const std::string reply = client.reply(kQuietMs);
            EXPECT_EQ(reply, step.reply) << c.fault << ": " << step.command << " -> " << visible(reply);
        }
    }
}

TEST_F(UnitSim, TricklesItsRepliesByteByByte) {
    start({"--fault", "trickle", "--gap-ms", "30"});
    ASSERT_TRUE(client_->command("%help -c version"));
    // Gaps shorter than the reader's quiet time: one reply, but never all of it at once.
    const std::string first = client_->readFor(100);
    EXPECT_GE(first.size(), 1u);
    EXPECT_LE(first.size(), 6u);
    EXPECT_EQ(first + client_->reply(kQuietMs), kHelp);
}

TEST_F(UnitSim, HangsUpOnRequest) {
    const std::string image = imageOf(1000, 4);
    struct Case {
        const char* fault;
        std::vector<std::string> commands;
        std::string lastReply;
    };
    const Case cases[] = {
        {"hangup-after-probe", {"%help -c version"}, kHelp},
        {"hangup-identify", {"%help -c version", "%fw -v"}, ""},
        {"hangup-l", {announcement('l', image)}, "Ready"},
    };
    for (const Case& c : cases) {
        PortDir ports;
        SimUnit sim(ports.path(), {"--fault", c.fault});
        ASSERT_TRUE(sim.ready()) << sim.startupText();
        SimClient client(ports.path() + "/COM3");
        std::string reply;
        for (const std::string& command : c.commands) {
            ASSERT_TRUE(client.command(command)) << c.fault;
            reply = client.reply(kQuietMs);
        }
        EXPECT_EQ(reply, c.lastReply) << c.fault;
        const bool inImage = std::string(c.fault) == "hangup-l";
        if (inImage) {
            ASSERT_TRUE(client.setSpeed(115200));
            client.write(image);
        }
        EXPECT_TRUE(waitUntilGone(ports.path() + "/COM3", 3000)) << c.fault;
        EXPECT_FALSE(client.command("%help -c version")) << c.fault << ": the line should fail after the hang-up";
        if (inImage) {
            EXPECT_EQ(sim.saved("fpga.bin"), image.substr(0, 500));
            EXPECT_EQ(sim.saved("announced.txt"), "l " + std::to_string(checksumOf(image)) + " 1000 500 " +
                                                      std::to_string(checksumOf(image.substr(0, 500))) + " HANGUP\n");
        }
        EXPECT_NE(sim.log().find("state hang-up"), std::string::npos) << sim.log();
    }
}

TEST_F(UnitSim, FloodsUntilTheToolSpeaksOrChangesSpeed) {
    start({"--fault", "flood-probe", "--time-divisor", "10"});
    ASSERT_TRUE(client_->command("%help -c version"));
    const std::string flood = client_->readFor(300);
    EXPECT_EQ(flood.compare(0, kHelp.size(), kHelp), 0);
    EXPECT_GT(flood.size(), 10000u);

    // Something new from the tool ends the flood; what is already on the line still comes.
    ASSERT_TRUE(client_->write("\n\r"));
    client_->reply(kQuietMs);
    EXPECT_EQ(client_->readFor(200), "");

    ASSERT_TRUE(client_->command("%help -c version"));
    EXPECT_GT(client_->readFor(100).size(), kHelp.size());
    ASSERT_TRUE(client_->setSpeed(115200));
    client_->reply(kQuietMs);
    EXPECT_EQ(client_->readFor(200), "");
    const std::string log = sim_->log();
    EXPECT_NE(log.find("flood ended after"), std::string::npos) << log;
    EXPECT_NE(log.find(": the tool wrote"), std::string::npos) << log;
    EXPECT_NE(log.find(": the line speed changed"), std::string::npos) << log;
}

TEST_F(UnitSim, SurvivesArbitraryBytesAndOverlongLines) {
    start({});
    std::string junk = std::string(10000, 'A') + "\n\r";
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 37 + 11) & 0xff);
    junk += "\n";
    ASSERT_TRUE(client_->write(junk));
    client_->reply(kQuietMs);
    EXPECT_EQ(ask("%help -c version"), kHelp);
    EXPECT_NE(sim_->log().find("state discarded an overlong line of 10000 bytes"), std::string::npos);
    EXPECT_FALSE(sim_->hasExited());
}

TEST_F(UnitSim, PacesTheImageAtTheLineRateAndHoldsTheWriter) {
    start({"--rate", "115200", "--pace"});
    const std::string image = imageOf(23040, 5);  // two seconds of line at 115200, 8N1
    EXPECT_EQ(ask(announcement('l', image), 115200), "Ready");
    const int64_t begin = msNow();
    for (size_t offset = 0; offset < image.size(); offset += 10240) {
        ASSERT_TRUE(client_->write(image.substr(offset, 10240)));
    }
    const int64_t written = msNow();
    // The tool reads for one second after its last write: the reply must come inside it.
    EXPECT_EQ(client_->reply(1000), "SUCCESS");
    const int64_t replied = msNow() - 1000;
    EXPECT_GE(written - begin, 800) << "the writes were not held";
    // No faster than the line, less what the pseudo-terminal lets past the hold at the end.
    EXPECT_GE(replied - begin, 1600) << "the image came faster than the line";
}

TEST(UnitSimProgram, EndsOnSignalsAndRemovesItsLink) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        PortDir ports;
        TerminalProcess sim({binPath("unit-sim"), "--dir", ports.path(), "--port", "7"}, {{}, false, ""});
        ASSERT_TRUE(sim.waitForOutput("\n", 5000)) << sim.errors();
        EXPECT_EQ(access((ports.path() + "/COM7").c_str(), F_OK), 0);
        sim.sendSignal(signalNumber);
        ASSERT_TRUE(sim.waitForExit(5000));
        EXPECT_EQ(sim.exitStatus(), 0) << signalNumber;
        EXPECT_NE(access((ports.path() + "/COM7").c_str(), F_OK), 0) << signalNumber;
    }
}

TEST(UnitSimProgram, ExplainsItselfAndRefusesBadCommandLines) {
    PortDir ports;
    TerminalProcess help({binPath("unit-sim"), "--help"}, {{}, false, ""});
    ASSERT_TRUE(help.waitForExit(5000));
    EXPECT_EQ(help.exitStatus(), 0);
    for (const char* word : {"--dir", "--pace", "--save", "hangup-after-probe", "flood-upload", "trickle"}) {
        EXPECT_NE(help.output().find(word), std::string::npos) << word;
    }

    PtyPort taken(ports, 3);
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{}, 2, "--dir DIR is required"},
        {{"--dir", ports.path(), "--fault", "sulky"}, 2, "unknown fault sulky"},
        {{"--dir", ports.path(), "--rate", "fast"}, 2, "--rate takes"},
        {{"--dir", ports.path(), "--version", "1.0\\q"}, 2, "unknown escape \\q"},
        {{"--dir", ports.path() + "/none"}, 1, "does not exist"},
        {{"--dir", ports.path(), "--port", "3"}, 1, "cannot link"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {binPath("unit-sim")};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        TerminalProcess sim(argv, {{}, false, ""});
        ASSERT_TRUE(sim.waitForExit(5000)) << c.message;
        EXPECT_EQ(sim.exitStatus(), c.status) << c.message;
        EXPECT_NE(sim.errors().find(c.message), std::string::npos) << sim.errors();
    }
    // The link that was there already is left alone.
    EXPECT_EQ(access(taken.linkPath().c_str(), F_OK), 0);
}

}  // namespace
