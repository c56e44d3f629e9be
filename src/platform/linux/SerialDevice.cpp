// The serial device on Linux: termios2 for any baud rate, poll for the read deadline,
// flock plus TIOCEXCL for exclusive use.
//
// <termios.h> cannot be included together with <asm/termbits.h>, which has termios2;
// everything here therefore goes through ioctl (the drain lives in OutputDrain.cpp).
#include "SerialDevice.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "DevicePath.h"
#include "OutputDrain.h"
#include "Platform.h"

static SerialOutcome outcomeOfOpenError(int error) {
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV: return SERIAL_NO_DEVICE;
    case EACCES:
    case EPERM: return SERIAL_PERMISSION_DENIED;
    case EBUSY: return SERIAL_HELD;  // another program set TIOCEXCL
    default: return SERIAL_OTHER_FAILURE;
    }
}

// O_NONBLOCK keeps the open from waiting for carrier; blocking mode comes back once the
// port is ours. flock is the exclusive use that holds for root too; it goes with the
// descriptor at close. TIOCEXCL is refused by some devices: flock already holds the port.
ComHandle SerialDevice_Open(int nId, const char* /*szCOM*/) {
    char* const path = g_serialDeviceStatus.device;
    if (!devicePath(nId, path, sizeof g_serialDeviceStatus.device)) {
        path[0] = '\0';
        SerialDevice_NoteOutcome(sampleRuleRefusesPorts() ? SERIAL_SAMPLE_RULE : SERIAL_NO_SUCH_PORT, 0);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SerialDevice_NoteOutcome(outcomeOfOpenError(errno), errno);
        return INVALID_HANDLE_VALUE;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        SerialDevice_NoteOutcome(error == EWOULDBLOCK ? SERIAL_HELD : SERIAL_OTHER_FAILURE, error);
        return INVALID_HANDLE_VALUE;
    }
    ioctl(fd, TIOCEXCL);
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    SerialDevice_NoteOutcome(SERIAL_OPENED, 0);
    return fd;
}

// Only system calls: the signal handler gives the port up through this too. The device
// may stay open elsewhere (the other side of a pseudo-terminal), so exclusive use is
// given back explicitly, not left to the last close; flock goes with the descriptor.
void SerialDevice_Close(ComHandle handle) {
    ioctl(handle, TIOCNXCL);
    close(handle);
}

// Linux drivers size their own queues.
void SerialDevice_RequestQueues(ComHandle, uint32_t, uint32_t) {}

static bool isTerminal(ComHandle handle) {
    struct termios2 settings;
    return ioctl(handle, TCGETS2, &settings) == 0;
}

// The read deadline is computed from g_cto at each read, so applying the time-outs only
// needs a port to apply them to.
BOOL SerialDevice_ApplyTimeouts(ComHandle handle, const COMMTIMEOUTS&) {
    if (isTerminal(handle)) return TRUE;
    SerialDevice_NoteOutcome(SERIAL_SETTINGS_REFUSED, errno);
    return FALSE;
}

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
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return 0;
    }
}

// Raw 8N1 at the line's rate, receiver on, modem lines ignored except CTS when
// fOutxCtsFlow asks for it, no software flow control.
static BOOL refused(int error) {
    SerialDevice_NoteOutcome(SERIAL_SETTINGS_REFUSED, error);
    return FALSE;
}

BOOL SerialDevice_ApplyLineSettings(ComHandle handle, const DCB& line) {
    const uint32_t rate = line.BaudRate;
    struct termios2 settings;
    if (ioctl(handle, TCGETS2, &settings) != 0) return refused(errno);
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                               IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    if (line.fOutxCtsFlow) settings.c_cflag |= CRTSCTS;
    const speed_t standard = standardSpeed(rate);
    settings.c_cflag |= standard ? standard : BOTHER;
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    // Reads wait in poll; read itself then takes what is there and never blocks.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (ioctl(handle, TCSETS2, &settings) != 0) return refused(errno);
    // A driver may round a rate it cannot make; one that is more than 3 % off is refused.
    struct termios2 actual;
    if (ioctl(handle, TCGETS2, &actual) != 0) return refused(errno);
    const int64_t difference = static_cast<int64_t>(actual.c_ospeed) - rate;
    if ((difference < 0 ? -difference : difference) * 100 > static_cast<int64_t>(rate) * 3) return refused(0);
    return TRUE;
}

void SerialDevice_Purge(ComHandle handle) { ioctl(handle, TCFLSH, TCIOFLUSH); }

// Pseudo-terminals have no modem lines; raising DTR and RTS is best effort.
void SerialDevice_RaiseDtr(ComHandle handle) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(handle, TIOCMBIS, &lines);
}

BOOL SerialDevice_Read(ComHandle handle, void* buffer, int bytesToRead, int* bytesRead) {
    // The interval limit equals the total limit and only starts with the first byte, so
    // the total limit always ends a read first: one deadline T after the read begins,
    // kept in microseconds so that the read never ends a fraction of a millisecond early.
    const int64_t deadline = Platform_MonotonicUs() + Platform_ScaledMs(g_cto.ReadTotalTimeoutConstant) * 1000;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    int received = 0;
    bool lost = false;
    while (received < bytesToRead) {
        const int64_t remaining = deadline - Platform_MonotonicUs();
        if (remaining <= 0) break;
        struct pollfd waitFor = {handle, POLLIN, 0};
        const int ready = poll(&waitFor, 1, static_cast<int>((remaining + 999) / 1000));
        if (ready < 0) {
            if (errno == EINTR) continue;
            lost = true;
            break;
        }
        if (ready == 0) continue;  // the loop head ends the read at the deadline
        if (waitFor.revents & POLLIN) {
            const ssize_t got = read(handle, bytes + received, static_cast<size_t>(bytesToRead - received));
            if (got > 0) {
                received += static_cast<int>(got);
                continue;
            }
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        }
        // Hung up, unplugged or gone: no more bytes will come.
        lost = true;
        break;
    }
    *bytesRead = received;
    return lost && received == 0 ? FALSE : TRUE;
}

// write() returns once the bytes sit in the kernel's buffers, up to some 1.8 s of line
// time ahead of the wire on a CDC-ACM adapter; the unit's reply window opens when its
// last byte has arrived. So a write returns only when the output has drained.
BOOL SerialDevice_Write(ComHandle handle, const void* buffer, int bytesToWrite, int* bytesWritten) {
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    int written = 0;
    while (written < bytesToWrite) {
        const ssize_t done = write(handle, bytes + written, static_cast<size_t>(bytesToWrite - written));
        if (done > 0) {
            written += static_cast<int>(done);
        } else if (done < 0 && errno == EINTR) {
            continue;
        } else if (done < 0 && errno == EAGAIN) {
            struct pollfd waitFor = {handle, POLLOUT, 0};
            poll(&waitFor, 1, -1);
        } else {
            return FALSE;
        }
    }
    if (!drainOutput(handle)) return FALSE;
    *bytesWritten = written;
    return TRUE;
}
