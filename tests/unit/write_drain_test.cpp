// A write returns only when its bytes have left the port: the unit's reply window opens
// at that moment. A pseudo-terminal keeps nothing pending, so its drain returns at once;
// this program puts its own tcdrain and write in front of the system's to see the drain
// and what had been handed to the port when it came.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>

#include "ComPortAPI.h"
#include "ComPortRecords.h"
#include "PtyPort.h"

namespace {

struct DrainProbe {
    int port = -1;                  // the descriptor whose writes and drains are counted
    long bytesWritten = 0;          // handed to the port so far
    int calls = 0;                  // drains of the port
    long bytesWrittenAtDrain = -1;  // handed to the port when the last drain began
    int failWith = 0;               // errno to fail every drain with
    int interruptions = 0;          // drains to fail with EINTR first
};
DrainProbe probe;

}  // namespace

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
    using Write = ssize_t (*)(int, const void*, size_t);
    static const Write systemWrite = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    const ssize_t done = systemWrite(fd, buffer, count);
    if (fd == probe.port && done > 0) probe.bytesWritten += done;
    return done;
}

extern "C" int tcdrain(int fd) {
    if (fd != probe.port) return 0;
    ++probe.calls;
    probe.bytesWrittenAtDrain = probe.bytesWritten;
    if (probe.interruptions > 0) {
        --probe.interruptions;
        errno = EINTR;
        return -1;
    }
    if (probe.failWith != 0) {
        errno = probe.failWith;
        return -1;
    }
    using Drain = int (*)(int);
    static const Drain systemDrain = reinterpret_cast<Drain>(dlsym(RTLD_NEXT, "tcdrain"));
    return systemDrain ? systemDrain(fd) : 0;
}

namespace {

class WriteDrain : public testing::Test {
protected:
    void SetUp() override {
        ports_.useInThisProcess();
        port_ = std::make_unique<PtyPort>(ports_, 1);
        ASSERT_TRUE(ComPortAPI_OpenCOM(1));
        probe = DrainProbe();
        probe.port = g_hCOM;
    }
    void TearDown() override {
        ComPortAPI_CloseCOM();
        probe = DrainProbe();
    }

    PortDir ports_;
    std::unique_ptr<PtyPort> port_;
};

TEST_F(WriteDrain, AWriteReturnsAfterItsWholeOutputHasDrained) {
    const std::string block(3000, 'x');
    int written = -1;
    EXPECT_TRUE(ComPortAPI_WriteCOM(block.data(), static_cast<int>(block.size()), &written));
    EXPECT_EQ(written, 3000);
    EXPECT_EQ(probe.calls, 1) << "one drain, after the last byte was handed over";
    EXPECT_EQ(probe.bytesWrittenAtDrain, 3000);
    EXPECT_EQ(port_->read(500), block);
}

TEST_F(WriteDrain, AnInterruptedDrainIsResumedAndAFailedOneFailsTheWrite) {
    probe.interruptions = 2;
    int written = -1;
    EXPECT_TRUE(ComPortAPI_WriteCOM("abc", 3, &written));
    EXPECT_EQ(written, 3);
    EXPECT_EQ(probe.calls, 3);

    // The device went away while its output drained: the bytes never reached the unit.
    probe.calls = 0;
    probe.failWith = EIO;
    EXPECT_FALSE(ComPortAPI_WriteCOM("def", 3, &written));
    EXPECT_EQ(written, 0);
    EXPECT_EQ(probe.calls, 1);
}

}  // namespace
