// The serial port module against pseudo-terminals: stored records, the read time-out,
// the setters, the open messages and exclusive use.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "ComPortAPI.h"
#include "ComPortRecords.h"
#include "PtyPort.h"
#include "StdoutCapture.h"

namespace {

// The records as the program starts with them, before any test has changed them.
const COMMTIMEOUTS kStartTimeouts = g_cto;
const DCB kStartLine = g_dcb;

using Clock = std::chrono::steady_clock;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

long long msSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

uint32_t flagWord(const DCB& dcb) {
    uint32_t word;
    memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb) + 8, sizeof word);
    return word;
}

struct TimedRead {
    BOOL result;
    std::string bytes;
    long long ms;
};

TimedRead timedRead(int capacity) {
    std::string buffer(static_cast<size_t>(capacity), '\0');
    int count = -1;
    const Clock::time_point start = Clock::now();
    const BOOL result = ComPortAPI_ReadCOM(&buffer[0], capacity, &count);
    const long long ms = msSince(start);
    return {result, buffer.substr(0, static_cast<size_t>(count < 0 ? 0 : count)), ms};
}

// Opens port n, returning what the module printed.
std::string openPort(int n, BOOL* result) {
    StdoutCapture out;
    *result = ComPortAPI_OpenCOM(n);
    return out.finish();
}

// Runs fn in a child process (a second program on the same machine) and gives back its
// exit status; the child's standard output is discarded.
template <typename Fn>
int inOtherProcess(Fn fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDOUT_FILENO);
        _exit(fn());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ComPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ports_.useInThisProcess();
        g_cto = kStartTimeouts;
        g_dcb = kStartLine;
    }
    void TearDown() override {
        ComPortAPI_CloseCOM();
        g_cto = kStartTimeouts;
        g_dcb = kStartLine;
    }
    void openOrFail(int n) {
        BOOL opened = FALSE;
        const std::string printed = openPort(n, &opened);
        ASSERT_TRUE(opened) << printed;
        ASSERT_EQ(printed, "");
    }

    PortDir ports_;
};

TEST_F(ComPortTest, RecordsStartWithTheDocumentedValues) {
    static_assert(sizeof(DCB) == 28, "the line settings record has the platform's 28 bytes");
    static_assert(sizeof(COMMTIMEOUTS) == 20, "five 32-bit fields");
    const uint32_t timeouts[5] = {500, 0, 500, 0, 0};
    EXPECT_EQ(memcmp(&kStartTimeouts, timeouts, sizeof timeouts), 0);

    // Little-endian image of the record, field by field.
    const unsigned char line[28] = {
        28,   0,    0,    0,     // DCBlength
        0x80, 0x25, 0,    0,     // BaudRate 9600
        0x15, 0x10, 0,    0,     // fBinary, fOutxCtsFlow, fDtrControl 1, fRtsControl 1
        0,    0,                 // wReserved
        0,    1,    0,    1,     // XonLim, XoffLim 256
        8,    0,    0,           // ByteSize, Parity, StopBits
        0x11, 0x13, 0x3F, 0x1A, 0x10,  // XonChar, XoffChar, ErrorChar, EofChar, EvtChar
        0,    0,                 // wReserved1
    };
    EXPECT_EQ(memcmp(&kStartLine, line, sizeof line), 0);
    EXPECT_EQ(flagWord(kStartLine), 0x1015u);
    EXPECT_EQ(kStartLine.fOutxCtsFlow, 1u);
    EXPECT_EQ(kStartLine.fDtrControl, static_cast<uint32_t>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(kStartLine.fRtsControl, static_cast<uint32_t>(RTS_CONTROL_ENABLE));
}

TEST_F(ComPortTest, OpenConfiguresTheLineRaw8N1AtTheStoredRate) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    EXPECT_EQ(port.lineSpeed(), 9600u);
    EXPECT_TRUE(port.ctsFlowControl());
    EXPECT_TRUE(port.rawEightNOne());
}

TEST_F(ComPortTest, SilentReadLastsTheTimeoutAndSucceedsWithNothing) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    const TimedRead read = timedRead(100);
    EXPECT_TRUE(read.result);
    EXPECT_EQ(read.bytes, "");
    EXPECT_GE(read.ms, 500);
    EXPECT_LT(read.ms, 1500);
}

TEST_F(ComPortTest, ReadThatDoesNotFillItsBufferLastsTheTimeoutEvenWhenBytesCameEarly) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    // Bytes at 50 and 250 ms, then silence: the read takes both and ends at T.
    std::thread unit([&port] {
        sleepMs(50);
        port.write("ab");
        sleepMs(200);
        port.write("cd");
    });
    const TimedRead read = timedRead(100);
    unit.join();
    EXPECT_TRUE(read.result);
    EXPECT_EQ(read.bytes, "abcd");
    EXPECT_GE(read.ms, 500);
    EXPECT_LT(read.ms, 1500);
}

TEST_F(ComPortTest, FullBufferEndsTheReadEarly) {
    PtyPort port(ports_, 1);
    ComPortAPI_SetReadingTimeoutInMs(3000);
    openOrFail(1);
    port.write("0123456789ABCDEF");
    sleepMs(20);
    const TimedRead first = timedRead(10);
    EXPECT_TRUE(first.result);
    EXPECT_EQ(first.bytes, "0123456789");
    EXPECT_LT(first.ms, 1000);
    // The rest stays for the next read, which then waits out its time-out.
    ComPortAPI_SetReadingTimeoutInMs(200);
    const TimedRead second = timedRead(10);
    EXPECT_EQ(second.bytes, "ABCDEF");
    EXPECT_GE(second.ms, 200);
}

TEST_F(ComPortTest, BytesSentBeforeTheOpenAreNeverRead) {
    PtyPort port(ports_, 1);
    ComPortAPI_SetReadingTimeoutInMs(200);
    port.write("stale reply\r\n>>");
    sleepMs(100);
    openOrFail(1);
    EXPECT_EQ(timedRead(100).bytes, "");
    port.write("fresh");
    EXPECT_EQ(timedRead(100).bytes, "fresh");
}

TEST_F(ComPortTest, SettingTheStoredValueSucceedsWithoutTouchingThePort) {
    // No port open: nothing to apply, and nothing needs applying.
    EXPECT_TRUE(ComPortAPI_SetReadingTimeoutInMs(500));
    EXPECT_TRUE(ComPortAPI_SetBaudRate(9600));
    EXPECT_TRUE(ComPortAPI_SetHardwareFlowControl(TRUE));
    EXPECT_EQ(memcmp(&g_dcb, &kStartLine, sizeof g_dcb), 0);
    EXPECT_EQ(memcmp(&g_cto, &kStartTimeouts, sizeof g_cto), 0);

    // Port open: someone else changes the line behind the module's back; setting the
    // values the module already holds must not put its own settings back.
    PtyPort port(ports_, 1);
    openOrFail(1);
    const int other = open(port.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    struct termios changed;
    ASSERT_EQ(tcgetattr(other, &changed), 0);
    cfsetospeed(&changed, B4800);
    cfsetispeed(&changed, B4800);
    changed.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    ASSERT_EQ(tcsetattr(other, TCSANOW, &changed), 0);
    close(other);
    EXPECT_TRUE(ComPortAPI_SetBaudRate(9600));
    EXPECT_TRUE(ComPortAPI_SetHardwareFlowControl(TRUE));
    EXPECT_TRUE(ComPortAPI_SetReadingTimeoutInMs(500));
    EXPECT_EQ(port.lineSpeed(), 4800u);
    EXPECT_FALSE(port.ctsFlowControl());
}

TEST_F(ComPortTest, NewValueWithNoPortIsStoredReportedAsFailureAndAppliedAtTheNextOpen) {
    PtyPort port(ports_, 1);
    EXPECT_FALSE(ComPortAPI_SetBaudRate(57600));
    EXPECT_FALSE(ComPortAPI_SetHardwareFlowControl(FALSE));
    EXPECT_FALSE(ComPortAPI_SetReadingTimeoutInMs(250));
    EXPECT_EQ(g_dcb.BaudRate, 57600u);
    EXPECT_EQ(g_dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(g_cto.ReadIntervalTimeout, 250u);
    EXPECT_EQ(g_cto.ReadTotalTimeoutConstant, 250u);

    openOrFail(1);
    EXPECT_EQ(port.lineSpeed(), 57600u);
    EXPECT_FALSE(port.ctsFlowControl());
    EXPECT_TRUE(port.rawEightNOne());
    const TimedRead read = timedRead(100);
    EXPECT_GE(read.ms, 250);
    EXPECT_LT(read.ms, 750);

    // The records outlive the port: a close and a reopen keep them.
    ComPortAPI_CloseCOM();
    openOrFail(1);
    EXPECT_EQ(port.lineSpeed(), 57600u);
}

TEST_F(ComPortTest, FlowControlChangesOnlyItsOwnFlag) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    for (const BOOL enable : {FALSE, TRUE}) {
        const DCB before = g_dcb;
        EXPECT_TRUE(ComPortAPI_SetHardwareFlowControl(enable));
        EXPECT_EQ(flagWord(g_dcb), (flagWord(before) & ~4u) | (enable ? 4u : 0u));
        DCB others = g_dcb;
        others.fOutxCtsFlow = before.fOutxCtsFlow;
        EXPECT_EQ(memcmp(&others, &before, sizeof others), 0);
        EXPECT_EQ(port.ctsFlowControl(), enable == TRUE);
        EXPECT_EQ(port.lineSpeed(), 9600u);
        EXPECT_TRUE(port.rawEightNOne());
    }
}

TEST_F(ComPortTest, TimeoutChangesBothReadLimitsAndTheNextRead) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    EXPECT_TRUE(ComPortAPI_SetReadingTimeoutInMs(150));
    const uint32_t expected[5] = {150, 0, 150, 0, 0};
    EXPECT_EQ(memcmp(&g_cto, expected, sizeof expected), 0);
    const TimedRead read = timedRead(100);
    EXPECT_GE(read.ms, 150);
    EXPECT_LT(read.ms, 450);
}

TEST_F(ComPortTest, AnyPositiveRateReachesTheLine) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    for (const int rate : {12345, 115200, 1200, 250000}) {
        EXPECT_TRUE(ComPortAPI_SetBaudRate(rate)) << rate;
        EXPECT_EQ(port.lineSpeed(), static_cast<uint32_t>(rate));
        EXPECT_TRUE(port.rawEightNOne());
    }
    // Stored while closed, applied at the open.
    ComPortAPI_CloseCOM();
    EXPECT_FALSE(ComPortAPI_SetBaudRate(31250));
    openOrFail(1);
    EXPECT_EQ(port.lineSpeed(), 31250u);
}

TEST_F(ComPortTest, ZeroOrNegativeRateIsRefusedOnAnOpenPort) {
    PtyPort port(ports_, 1);
    for (const int rate : {0, -9600, -1}) {
        openOrFail(1);
        EXPECT_FALSE(ComPortAPI_SetBaudRate(rate)) << rate;
        // Stored all the same; the line keeps the rate it had.
        EXPECT_EQ(g_dcb.BaudRate, static_cast<uint32_t>(rate));
        EXPECT_EQ(port.lineSpeed(), 9600u);
        ComPortAPI_CloseCOM();
        // Nor can a later open apply it.
        BOOL opened = TRUE;
        EXPECT_EQ(openPort(1, &opened), "ERROR: COM1 configuration failed !");
        EXPECT_FALSE(opened);
        EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
        g_dcb.BaudRate = 9600;
    }
}

TEST_F(ComPortTest, FailedOpensPrintTheirMessageWithoutLineFeed) {
    PtyPort low(ports_, 99999999);   // "\\.\COM99999999" is 15 characters: it fits
    PtyPort high(ports_, 100000000); // one more digit does not
    const std::string file = ports_.path() + "/plain-file";
    {
        const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    ASSERT_EQ(symlink(file.c_str(), (ports_.path() + "/COM4").c_str()), 0);
    ASSERT_EQ(symlink((ports_.path() + "/nowhere").c_str(), (ports_.path() + "/COM6").c_str()), 0);

    const struct {
        int number;
        const char* printed;
    } cases[] = {
        {5, "ERROR: Opening COM5 failed !"},  // no such port
        {6, "ERROR: Opening COM6 failed !"},  // a link to nothing
        {0, "ERROR: Opening COM0 failed !"},
        {-3, "ERROR: Opening COM-3 failed !"},
        {100000000, "ERROR: Opening COM100000000 failed !"},
        {4, "ERROR: COM4 configuration failed !"},  // not a terminal
    };
    for (const auto& c : cases) {
        BOOL opened = TRUE;
        EXPECT_EQ(openPort(c.number, &opened), c.printed) << c.number;
        EXPECT_FALSE(opened);
        EXPECT_EQ(g_hCOM, INVALID_HANDLE_VALUE);
    }
    // The file that failed configuration was let go again.
    const int fd = open(file.c_str(), O_RDONLY);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);

    openOrFail(99999999);
}

// The reasons the shared code puts together itself: a port name that is no device, a rate
// refused before the system is asked (no system text then), a link to nothing. The probe
// says nothing on either stream, whatever it meets.
TEST_F(ComPortTest, FailedOpensTellWhyOnStandardErrorAndProbesStaySilent) {
    PtyPort port(ports_, 1);
    ASSERT_EQ(symlink(ports_.file("unplugged").c_str(), ports_.file("COM6").c_str()), 0);
    const struct {
        const char* name;
        int number;
        uint32_t rate;
        std::string printed;
        std::string reason;
    } cases[] = {
        {"link to nothing", 6, 9600, "ERROR: Opening COM6 failed !",
         " -- " + ports_.file("COM6") +
             ": No such file or directory. Is the adapter plugged in, and is COM6 its number?\n"},
        {"number too long for a name", 100000000, 9600, "ERROR: Opening COM100000000 failed !",
         " -- COM100000000: no device stands for this number. \"KestraneFwUpgrade --help\" shows the port numbers.\n"},
        {"rate no line runs at", 1, 0, "ERROR: COM1 configuration failed !",
         " -- " + ports_.file("COM1") + ": refused the line settings (0 baud).\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_dcb.BaudRate = c.rate;
        StdoutCapture errors(STDERR_FILENO);
        BOOL opened = TRUE;
        EXPECT_EQ(openPort(c.number, &opened), c.printed);
        EXPECT_FALSE(opened);
        EXPECT_EQ(errors.finish(), c.reason);

        StdoutCapture probeOutput;
        StdoutCapture probeErrors(STDERR_FILENO);
        ComPortAPI_ProbeCOM(c.number);
        ComPortAPI_CloseCOM();
        EXPECT_EQ(probeErrors.finish(), "");
        EXPECT_EQ(probeOutput.finish(), "");
    }
}

TEST_F(ComPortTest, HeldPortCannotBeOpenedOrProbedUntilItIsClosed) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    EXPECT_EQ(inOtherProcess([] { return ComPortAPI_OpenCOM(1) ? 0 : 1; }), 1);
    EXPECT_EQ(inOtherProcess([] { return ComPortAPI_ProbeCOM(1) ? 0 : 1; }), 1);
    // Exclusive use is marked on the terminal too while the port is open.
    const int other = open(port.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);  // root passes TIOCEXCL; flock is what holds for root
    int exclusive = -1;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    ComPortAPI_CloseCOM();
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(other);
    EXPECT_EQ(inOtherProcess([] { return ComPortAPI_OpenCOM(1) ? 0 : 1; }), 0);
    EXPECT_EQ(inOtherProcess([] { return ComPortAPI_ProbeCOM(1) ? 0 : 1; }), 0);
    openOrFail(1);
}

TEST_F(ComPortTest, PortLockedByAnotherProcessFailsToOpen) {
    PtyPort port(ports_, 1);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const std::string device = port.linkPath();
    const pid_t holder = fork();
    if (holder == 0) {
        const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        if (write(ready[1], &ok, 1) != 1) _exit(2);
        char wait;
        if (read(release[0], &wait, 1) < 0) _exit(2);
        _exit(0);
    }
    char ok = '0';
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    BOOL opened = TRUE;
    EXPECT_EQ(openPort(1, &opened), "ERROR: Opening COM1 failed !");
    EXPECT_FALSE(opened);
    EXPECT_FALSE(ComPortAPI_ProbeCOM(1));
    ComPortAPI_CloseCOM();

    const char go = 'x';
    EXPECT_EQ(write(release[1], &go, 1), 1);
    waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
    openOrFail(1);
}

TEST_F(ComPortTest, ReadsAndWritesWithNoPortFailAtOnceWithCountZero) {
    char buffer[16] = {};
    int count = 99;
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(ComPortAPI_ReadCOM(buffer, sizeof buffer, &count));
    EXPECT_LT(msSince(start), 250);
    EXPECT_EQ(count, 0);
    count = 99;
    EXPECT_FALSE(ComPortAPI_WriteCOM("abc", 3, &count));
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ComPortAPI_CloseCOM());  // nothing to close is no failure either
}

TEST_F(ComPortTest, WritesReachTheLineWhole) {
    PtyPort port(ports_, 1);
    openOrFail(1);
    std::string block(100000, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    std::string received;
    std::thread unit([&] {
        while (received.size() < block.size()) {
            const std::string got = port.read(2000, 50);
            if (got.empty()) break;
            received += got;
        }
    });
    int written = 0;
    EXPECT_TRUE(ComPortAPI_WriteCOM(block.data(), static_cast<int>(block.size()), &written));
    EXPECT_EQ(written, static_cast<int>(block.size()));
    unit.join();
    EXPECT_EQ(received, block);  // raw: no byte translated, none dropped
}

TEST_F(ComPortTest, HangUpOfTheOtherSideMakesReadsAndWritesFailPromptly) {
    PtyPort port(ports_, 1);
    ComPortAPI_SetReadingTimeoutInMs(3000);
    openOrFail(1);
    port.hangUp();
    char buffer[16];
    int count = 99;
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(ComPortAPI_ReadCOM(buffer, sizeof buffer, &count));
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(count, 0);
    count = 99;
    EXPECT_FALSE(ComPortAPI_WriteCOM("abc", 3, &count));
    EXPECT_EQ(count, 0);
    EXPECT_LT(msSince(start), 1000);
}

}  // namespace
