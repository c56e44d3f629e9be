// The port search, in-process, against pseudo-terminals and a port directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ComPortAPI.h"
#include "ComPortRecords.h"
#include "KestraneFwUpgrade.h"
#include "PtyPort.h"
#include "StdoutCapture.h"

namespace {

const int kT = 40;  // the search uses the stored read time-out; short here
const std::string kProbe = "%%%help -c version\n\r";
const std::string kHelp = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";

class DiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports_.useInThisProcess();
        ASSERT_TRUE(allocateSharedBuffers());
        ComPortAPI_CloseCOM();
        g_dcb.BaudRate = BAUD_RATE;
        g_dcb.fOutxCtsFlow = 0;
        g_cto.ReadIntervalTimeout = g_cto.ReadTotalTimeoutConstant = kT;
        gComPortNumber = -7;
        gBaudRate = -7;
    }
    void TearDown() override {
        ComPortAPI_CloseCOM();
        releaseSharedBuffers();
    }

    // Runs the search; returns its result, with the console text in `console`.
    BOOL search(std::string& console) {
        StdoutCapture capture;
        const BOOL result = detectComPortAndBaudrate();
        console = capture.finish();
        return result;
    }

    PortDir ports_;
};

// Plays a unit on `port` that answers each probe heard at `rate`, and records the line
// speed of every probe it hears.
class Unit {
public:
    Unit(PtyPort& port, uint32_t rate) : port_(port), rate_(rate), thread_([this] { run(); }) {}
    ~Unit() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::vector<uint32_t> speeds() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return speeds_;
    }

private:
    void run() {
        std::string pending;
        while (!done_) {
            pending += port_.read(20, 1);
            size_t at;
            while ((at = pending.find(kProbe)) != std::string::npos) {
                pending.erase(0, at + kProbe.size());
                const uint32_t speed = port_.lineSpeed();
                speeds_.push_back(speed);
                if (speed == rate_) port_.write(kHelp);
            }
        }
    }
    PtyPort& port_;
    const uint32_t rate_;
    std::atomic<bool> done_{false};
    std::vector<uint32_t> speeds_;
    std::thread thread_;
};

TEST_F(DiscoveryTest, NoPortAtAllFailsSilentlyWithBothGlobalsZero) {
    std::string console;
    EXPECT_FALSE(search(console));
    EXPECT_EQ(console, "");
    EXPECT_EQ(gComPortNumber, 0);
    EXPECT_EQ(gBaudRate, 0);
    EXPECT_EQ(g_dcb.BaudRate, static_cast<uint32_t>(BAUD_RATE));
    EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
}

TEST_F(DiscoveryTest, ASilentPortGetsTwelveAttemptsInRateOrder) {
    PtyPort last(ports_, 32);
    Unit nobody(last, 0);
    std::string console;
    EXPECT_FALSE(search(console));
    EXPECT_EQ(console, "");
    EXPECT_EQ(nobody.speeds(),
              (std::vector<uint32_t>{115200, 115200, 9600, 9600, 57600, 57600, 4800, 4800, 2400, 2400, 1200, 1200}));
    EXPECT_EQ(gComPortNumber, 32);
    EXPECT_EQ(gBaudRate, 1200);
    EXPECT_EQ(g_dcb.BaudRate, 1200u);
    EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
}

TEST_F(DiscoveryTest, AUnitIsFoundAtItsRateAndItsPortStaysOpen) {
    PtyPort silent(ports_, 2);
    PtyPort unitPort(ports_, 5);
    Unit nobody(silent, 0);
    Unit unit(unitPort, 57600);
    std::string console;
    EXPECT_TRUE(search(console));
    EXPECT_EQ(console, "");
    EXPECT_EQ(gComPortNumber, 5);
    EXPECT_EQ(gBaudRate, 57600);
    EXPECT_EQ(g_dcb.BaudRate, 57600u);
    EXPECT_EQ(g_cto.ReadIntervalTimeout, static_cast<uint32_t>(kT));
    EXPECT_EQ(g_dcb.fOutxCtsFlow, 0u);
    ASSERT_NE(g_hCOM, INVALID_HANDLE_VALUE);
    EXPECT_EQ(unitPort.lineSpeed(), 57600u);
    EXPECT_EQ(nobody.speeds().size(), 12u);
    EXPECT_EQ(unit.speeds(), (std::vector<uint32_t>{115200, 115200, 9600, 9600, 57600}));
}

TEST_F(DiscoveryTest, APortHeldByAnotherProgramIsSkippedWithoutAByte) {
    PtyPort held(ports_, 1);
    PtyPort unitPort(ports_, 4);
    const int holder = open(held.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    Unit unit(unitPort, 9600);
    std::string console;
    EXPECT_TRUE(search(console));
    EXPECT_EQ(console, "");
    EXPECT_EQ(gComPortNumber, 4);
    EXPECT_EQ(held.read(50), "");
    close(holder);
}

TEST_F(DiscoveryTest, APortThatRefusesItsSettingsIsReportedAtEveryRate) {
    // A plain file opens like a device but takes no line settings.
    const std::string file = ports_.path() + "/COM1";
    close(open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    std::string console;
    EXPECT_FALSE(search(console));
    std::string expected;
    for (int i = 0; i < 6; ++i) expected += "ERROR: COM1 configuration failed !";
    EXPECT_EQ(console, expected);
    EXPECT_EQ(gComPortNumber, 0);
    EXPECT_EQ(gBaudRate, 0);
}

}  // namespace
