#include "PtyPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "LineSettings.h"
#include "TestPaths.h"

PortDir::~PortDir() { stopWineIn(path()); }

void PortDir::useInThisProcess() const { setenv("COM_PORT_DIR", path().c_str(), 1); }

PtyPort::PtyPort(const PortDir& dir, int number) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) abort();
    slavePath_ = ptsname(master_);
    slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) abort();
    struct termios raw;
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, O_NONBLOCK);
    linkPath_ = dir.file("COM" + std::to_string(number));
    if (symlink(slavePath_.c_str(), linkPath_.c_str()) != 0) abort();
}

PtyPort::~PtyPort() {
    unlink(linkPath_.c_str());
    close(slave_);
    hangUp();
}

void PtyPort::hangUp() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

std::string PtyPort::read(int waitMs, int quietMs) {
    std::string got;
    int timeout = waitMs;
    for (;;) {
        struct pollfd fd = {master_, POLLIN, 0};
        if (poll(&fd, 1, timeout) <= 0) return got;
        char chunk[65536];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0) got.append(chunk, static_cast<size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN) return got;
        timeout = quietMs;
    }
}

void PtyPort::write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n < 0 && errno == EAGAIN) {
            struct pollfd fd = {master_, POLLOUT, 0};
            poll(&fd, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

uint32_t PtyPort::lineSpeed() const { return lineSettingsOf(slave_).speed; }
bool PtyPort::ctsFlowControl() const { return lineSettingsOf(slave_).ctsFlow; }
bool PtyPort::rawEightNOne() const { return lineSettingsOf(slave_).rawEightNOne; }
