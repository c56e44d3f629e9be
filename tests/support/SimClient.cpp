#include "SimClient.h"

// termios2 for any speed; <termios.h> cannot be included with it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

static int64_t millisecondsNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

SimClient::SimClient(const std::string& devicePath) {
    fd_ = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0 && !setSpeed(9600)) close();
}

SimClient::~SimClient() { close(); }

void SimClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool SimClient::setSpeed(uint32_t bitsPerSecond) {
    struct termios2 settings;
    if (fd_ < 0 || ioctl(fd_, TCGETS2, &settings) != 0) return false;
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CBAUD | CIBAUD | CRTSCTS);
    settings.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER;
    settings.c_ispeed = bitsPerSecond;
    settings.c_ospeed = bitsPerSecond;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    return ioctl(fd_, TCSETS2, &settings) == 0;
}

bool SimClient::write(const std::string& bytes) {
    size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t count = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<size_t>(count);
        } else if (count < 0 && errno == EAGAIN) {
            struct pollfd room = {fd_, POLLOUT, 0};
            if (poll(&room, 1, 5000) <= 0 || (room.revents & (POLLHUP | POLLERR))) return false;
        } else if (count < 0 && errno != EINTR) {
            return false;
        }
    }
    return fd_ >= 0;
}

static bool readSome(int fd, std::string& into, int waitMs) {
    struct pollfd incoming = {fd, POLLIN, 0};
    if (poll(&incoming, 1, waitMs) <= 0 || !(incoming.revents & POLLIN)) return false;
    char chunk[65536];
    const ssize_t count = read(fd, chunk, sizeof chunk);
    if (count <= 0) return false;
    into.append(chunk, static_cast<size_t>(count));
    return true;
}

std::string SimClient::reply(int quietMs) {
    std::string got;
    while (fd_ >= 0 && readSome(fd_, got, quietMs)) {
    }
    return got;
}

std::string SimClient::readFor(int ms) {
    std::string got;
    const int64_t end = millisecondsNow() + ms;
    for (int64_t now = millisecondsNow(); fd_ >= 0 && now < end; now = millisecondsNow()) {
        if (!readSome(fd_, got, static_cast<int>(end - now))) {
            // Nothing, or a hung-up line that reports it at once: do not spin on it.
            struct pollfd incoming = {fd_, POLLIN, 0};
            if (poll(&incoming, 1, 0) > 0 && (incoming.revents & POLLHUP)) break;
        }
    }
    return got;
}
