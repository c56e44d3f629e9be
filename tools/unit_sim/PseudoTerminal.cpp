#include "PseudoTerminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "LineSpeed.h"

static speed_t standardSpeed(uint32_t rate) {
    switch (rate) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B9600;
    }
}

PseudoTerminal::~PseudoTerminal() { hangUp(); }

bool PseudoTerminal::create(const std::string& dir, int port, uint32_t initialRate, std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + strerror(errno);
        hangUp();
        return false;
    }
    const char* name = ptsname(master_);
    slavePath_ = name ? name : "";
    slave_ = slavePath_.empty() ? -1 : open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error = "cannot open " + slavePath_ + ": " + strerror(errno);
        hangUp();
        return false;
    }
    struct termios settings;
    tcgetattr(slave_, &settings);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&settings, standardSpeed(initialRate));
    cfsetospeed(&settings, standardSpeed(initialRate));
    tcsetattr(slave_, TCSANOW, &settings);
    // Replies must never block the loop that also reads what the tool sends.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    const std::string link = dir + "/COM" + std::to_string(port);
    if (symlink(slavePath_.c_str(), link.c_str()) != 0) {
        error = "cannot link " + link + " to " + slavePath_ + ": " + strerror(errno);
        hangUp();
        return false;
    }
    linkPath_ = link;
    return true;
}

uint32_t PseudoTerminal::lineSpeed() const { return slave_ >= 0 ? lineSpeedOf(slave_) : 0; }

void PseudoTerminal::holdToolOutput(bool hold) {
    if (slave_ < 0 || hold == holding_) return;
    tcflow(slave_, hold ? TCOOFF : TCOON);
    holding_ = hold;
}

int PseudoTerminal::bytesWaitingForTool() const {
    int count = 0;
    if (slave_ < 0 || ioctl(slave_, FIONREAD, &count) != 0) return 0;
    return count;
}

void PseudoTerminal::removeLink() {
    if (!linkPath_.empty()) unlink(linkPath_.c_str());
    linkPath_.clear();
}

void PseudoTerminal::hangUp() {
    removeLink();
    holdToolOutput(false);
    // Closing the master hangs the line up even though the slave descriptor below is ours.
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    master_ = -1;
    slave_ = -1;
}
