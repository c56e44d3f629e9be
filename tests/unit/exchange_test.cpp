// The command exchange and the bulk transfer, against a pseudo-terminal playing the unit.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "ComPortAPI.h"
#include "KestraneFwUpgrade.h"
#include "Platform.h"
#include "PtyPort.h"
#include "StdoutCapture.h"

namespace {

const int kT = 100;  // read time-out of these tests, in ms

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports_.useInThisProcess();
        ASSERT_TRUE(allocateSharedBuffers());
        ComPortAPI_SetReadingTimeoutInMs(kT);
        StdoutCapture quiet;
        ASSERT_TRUE(ComPortAPI_OpenCOM(1)) << quiet.finish();
    }
    void TearDown() override {
        ComPortAPI_CloseCOM();
        releaseSharedBuffers();
    }

    // The unit: waits for the command, then sends each part, the first at once and each
    // further one delayMs after the one before.
    std::thread unitAnswering(std::string& wire, std::vector<std::string> parts, int delayMs = 0) {
        return std::thread([this, &wire, parts, delayMs] {
            wire = port_.read(2000, 10);
            for (size_t i = 0; i < parts.size(); ++i) {
                if (i > 0) sleepMs(delayMs);
                port_.write(parts[i]);
            }
        });
    }

    PortDir ports_;
    PtyPort port_{ports_, 1};
};

TEST_F(ExchangeTest, FramesTheCommandWithTwoPercentSignsOrNone) {
    struct Case {
        const char* command;
        BOOL isEchoON;
        std::string wire;
    } cases[] = {
        {"%fw -v", FALSE, "%%%fw -v\n\r"},
        {"%help -c version", FALSE, "%%%help -c version\n\r"},
        {"", FALSE, "%%\n\r"},
        {"%fw -v", TRUE, "%fw -v\n\r"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(sendCommand(c.command, c.isEchoON, FALSE, nullptr));
        EXPECT_EQ(port_.read(1000), c.wire) << c.command;
    }
}

TEST_F(ExchangeTest, NoExpectedReplyMeansOneWriteAndNoRead) {
    // What the unit already sent stays in the port for the caller.
    port_.write("1.0.6 XC7A35 1.6 1");
    sleepMs(20);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(sendCommand("%fw -v", FALSE, TRUE, nullptr));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kT));
    EXPECT_EQ(port_.read(1000), "%%%fw -v\n\r");
    char buffer[64] = {};
    int count = 0;
    ComPortAPI_ReadCOM(buffer, sizeof buffer - 1, &count);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(count)), "1.0.6 XC7A35 1.6 1");
}

TEST_F(ExchangeTest, ComparesTheWholeReplyJoinedOverReads) {
    struct Case {
        std::vector<std::string> parts;
        int gapMs;  // between parts; under T, so the reply goes on over several reads
        bool matches;
    } cases[] = {
        {{"Ready"}, 0, true},
        {{"R", "ea", "dy"}, kT * 2 / 3, true},
        // A zero byte ends its chunk's share; the next read's chunk goes on from the text
        // so far. The gap puts "ady" into the second read.
        {{std::string("Re\0xx", 5), "ady"}, kT * 3 / 2, true},
        {{std::string("Ready\0", 6)}, 0, true},
        {{"Ready\r\n"}, 0, false},
        {{"%%%fw -l 1 2\n\rReady"}, 0, false},
        {{"Ready", ">>"}, kT / 2, false},
        {{"ready"}, 0, false},
        {{"Read"}, 0, false},
        {{}, 0, false},
    };
    for (const Case& c : cases) {
        std::string wire;
        std::thread unit = unitAnswering(wire, c.parts, c.gapMs);
        const BOOL result = sendCommand("%fw -l 1 2", FALSE, TRUE, "Ready");
        unit.join();
        EXPECT_EQ(result, c.matches ? TRUE : FALSE) << visible(c.parts.empty() ? "" : c.parts[0]);
        EXPECT_EQ(wire, "%%%fw -l 1 2\n\r");
    }
}

TEST_F(ExchangeTest, ASilentUnitCostsOneReadOfT) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sendCommand("%fw -p", FALSE, TRUE, VALIDATE_TX_PRODUCT_ID_STRING));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(kT));
    EXPECT_LT(took, std::chrono::milliseconds(3 * kT));
}

TEST_F(ExchangeTest, ANotComparedReplyIsReadAndDiscarded) {
    std::string wire;
    std::thread unit = unitAnswering(wire, {"anything"});
    EXPECT_TRUE(sendCommand("%fw -p", FALSE, FALSE, "Ready"));
    unit.join();
    int count = -1;
    char buffer[16];
    ComPortAPI_ReadCOM(buffer, sizeof buffer, &count);
    EXPECT_EQ(count, 0);
}

TEST_F(ExchangeTest, AFailedWriteIsReportedAndNothingIsRead) {
    ComPortAPI_CloseCOM();
    StdoutCapture console;
    EXPECT_FALSE(sendCommand("%fw -v", FALSE, TRUE, "Ready"));
    EXPECT_EQ(console.finish(), "\r\nError occurred when sending data !\r\n");
}

TEST_F(ExchangeTest, AUnitThatNeverFallsSilentIsAMismatchNotAHang) {
    // More than the collection buffer holds, in one stream without a pause.
    const std::string flood(DATA_BUFFER_SIZE + 4096, 'x');
    std::string wire;
    std::thread unit = unitAnswering(wire, {flood});
    EXPECT_FALSE(sendCommand("%help -c version", FALSE, TRUE, "x"));
    port_.read(200, 50);  // let the writer finish whatever the tool did not take
    unit.join();
}

// ---- bulk transfer ----

class TransferTest : public ExchangeTest {
protected:
    // Sends length bytes with sendData while the unit drains the line, then replies.
    struct Outcome {
        BOOL result;
        std::string console;
        std::string wire;
    };
    Outcome transfer(int length, const char* reply, const char* expected, BOOL validate = TRUE) {
        std::vector<uint8_t> data(static_cast<size_t>(length));
        for (int i = 0; i < length; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + 3);
        Outcome outcome;
        std::thread unit([&] {
            while (outcome.wire.size() < static_cast<size_t>(length)) {
                const std::string got = port_.read(2000, 5);
                if (got.empty()) break;
                outcome.wire += got;
            }
            if (reply) port_.write(reply);
        });
        {
            StdoutCapture console;
            outcome.result = sendData(data.data(), length, validate, expected);
            outcome.console = console.finish();
        }
        unit.join();
        EXPECT_EQ(outcome.wire, std::string(data.begin(), data.end()));
        return outcome;
    }
};

TEST_F(TransferTest, ShowsItsProgressForEveryLength) {
    struct Case {
        int length;
        const char* console;
    } cases[] = {
        {0, "1%"},
        {1, "1%\b\b100%"},
        {10240, "1%\b\b100%"},
        {10241, "1%\b\b99%\b\b\b100%"},
        {20480, "1%\b\b50%\b\b\b100%"},
        {30000, "1%\b\b34%\b\b\b68%\b\b\b100%"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = transfer(c.length, c.length ? "SUCCESS" : nullptr, "SUCCESS");
        EXPECT_TRUE(outcome.result) << c.length;
        EXPECT_EQ(visible(outcome.console), visible(c.console)) << c.length;
    }
}

TEST_F(TransferTest, AWrongFinalReplyPrintsBothTexts) {
    const Outcome outcome = transfer(5, "SUCCESS\r\n>>", "SUCCESS");
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(visible(outcome.console),
              visible("1%\b\b100%\r\nExpected : SUCCESS  received : SUCCESS\r\n>>\r\n"
                      "\r\nError: Expected response did  not matched !\r\n"));
    const Outcome silent = transfer(5, nullptr, "SUCCESS");
    EXPECT_FALSE(silent.result);
    EXPECT_EQ(visible(silent.console),
              visible("1%\b\b100%\r\nExpected : SUCCESS  received : \r\n"
                      "\r\nError: Expected response did  not matched !\r\n"));
}

TEST_F(TransferTest, NoComparisonOrNoExpectedReplyAlwaysSucceeds) {
    EXPECT_TRUE(transfer(100, "FAILURE", "SUCCESS", FALSE).result);
    EXPECT_TRUE(transfer(100, nullptr, nullptr).result);
}

TEST_F(TransferTest, AUnitThatGoesAwayMidBlockFailsThePhasePromptly) {
    std::vector<uint8_t> data(200000, 0x5A);
    std::thread unit([&] {
        struct pollfd first = {port_.master(), POLLIN, 0};
        poll(&first, 1, 2000);
        char chunk[4096];
        (void)!::read(port_.master(), chunk, sizeof chunk);  // the first bytes, then gone
        port_.hangUp();
    });
    StdoutCapture console;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sendData(data.data(), static_cast<int>(data.size()), TRUE, "SUCCESS"));
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string text = console.finish();
    unit.join();
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(text.rfind("1%", 0), 0u) << visible(text);
    EXPECT_EQ(text.find("100%"), std::string::npos) << visible(text);
    EXPECT_EQ(text.find("Expected"), std::string::npos) << visible(text);
}

}  // namespace
