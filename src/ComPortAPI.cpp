// The serial port on Linux: termios2 for any baud rate, poll for the read deadline,
// flock plus TIOCEXCL for exclusive use.
//
// <termios.h> cannot be included together with <asm/termbits.h>, which has termios2;
// everything here therefore goes through ioctl.
#include "ComPortAPI.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "Platform.h"

#ifndef KESTRANE_SAMPLE_IMAGES
#define KESTRANE_SAMPLE_IMAGES 0
#endif

ComHandle g_hCOM = INVALID_HANDLE_VALUE;

COMMTIMEOUTS g_cto = {MAX_WAIT_READ, 0, MAX_WAIT_READ, 0, 0};

DCB g_dcb = {
    28,                  // DCBlength
    BAUD_RATE,           // BaudRate
    1,                   // fBinary
    0,                   // fParity
    1,                   // fOutxCtsFlow
    0,                   // fOutxDsrFlow
    DTR_CONTROL_ENABLE,  // fDtrControl
    0,                   // fDsrSensitivity
    0,                   // fTXContinueOnXoff
    0,                   // fOutX
    0,                   // fInX
    0,                   // fErrorChar
    0,                   // fNull
    RTS_CONTROL_ENABLE,  // fRtsControl
    0,                   // fAbortOnError
    0,                   // fDummy2
    0,                   // wReserved
    256,                 // XonLim
    256,                 // XoffLim
    8,                   // ByteSize
    NOPARITY,            // Parity
    ONESTOPBIT,          // StopBits
    0x11,                // XonChar
    0x13,                // XoffChar
    0x3F,                // ErrorChar
    0x1A,                // EofChar
    0x10,                // EvtChar
    0,                   // wReserved1
};

// The device that port nId stands for: $COM_PORT_DIR/COMn when that is set, else the
// fixed table (COM1-8 ttyUSB0-7, COM9-16 ttyACM0-7, COM17-32 ttyS0-15). A build with
// the synthetic sample images has no table: it must never reach a real unit.
static BOOL devicePath(int nId, char* path, size_t size) {
    // Port numbers are those whose name "\\.\COMn" fits in 16 characters.
    char szCOM[16];
    const int nameLength = snprintf(szCOM, sizeof szCOM, "\\\\.\\COM%d", nId);
    if (nId <= 0 || nameLength < 0 || nameLength >= static_cast<int>(sizeof szCOM)) return FALSE;

    const char* dir = getenv("COM_PORT_DIR");
    int length;
    if (dir && *dir) {
        length = snprintf(path, size, "%s/COM%d", dir, nId);
    } else if (KESTRANE_SAMPLE_IMAGES) {
        return FALSE;
    } else if (nId <= 8) {
        length = snprintf(path, size, "/dev/ttyUSB%d", nId - 1);
    } else if (nId <= 16) {
        length = snprintf(path, size, "/dev/ttyACM%d", nId - 9);
    } else if (nId <= 32) {
        length = snprintf(path, size, "/dev/ttyS%d", nId - 17);
    } else {
        return FALSE;
    }
    return length >= 0 && length < static_cast<int>(size);
}

// Opens the device of port nId for reading and writing, for this process alone.
// O_NONBLOCK keeps the open from waiting for carrier. flock is the exclusive use that
// holds for root too; it goes with the descriptor at close.
static ComHandle openDevice(int nId) {
    char path[4096];
    if (!devicePath(nId, path, sizeof path)) return INVALID_HANDLE_VALUE;
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return fd;
}

static bool isPortOpen() {
    struct termios2 settings;
    return g_hCOM != INVALID_HANDLE_VALUE && ioctl(g_hCOM, TCGETS2, &settings) == 0;
}

// The read deadline is computed by ComPortAPI_ReadCOM from g_cto at each read, so
// applying the time-outs only needs a port to apply them to.
static BOOL applyTimeouts() { return isPortOpen() ? TRUE : FALSE; }

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

// Raw 8N1 at g_dcb.BaudRate, receiver on, modem lines ignored except CTS when
// fOutxCtsFlow asks for it, no software flow control.
static BOOL applyLineSettings() {
    const uint32_t rate = g_dcb.BaudRate;
    if (!isPortOpen() || rate == 0 || rate > INT_MAX) return FALSE;
    struct termios2 settings;
    if (ioctl(g_hCOM, TCGETS2, &settings) != 0) return FALSE;
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                               IXOFF | IXANY | INPCK | IUCLC | IMAXBEL);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    if (g_dcb.fOutxCtsFlow) settings.c_cflag |= CRTSCTS;
    const speed_t standard = standardSpeed(rate);
    settings.c_cflag |= standard ? standard : BOTHER;
    settings.c_ispeed = rate;
    settings.c_ospeed = rate;
    // Reads wait in poll; read itself then takes what is there and never blocks.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (ioctl(g_hCOM, TCSETS2, &settings) != 0) return FALSE;
    // A driver may round a rate it cannot make; one that is more than 3 % off is refused.
    struct termios2 actual;
    if (ioctl(g_hCOM, TCGETS2, &actual) != 0) return FALSE;
    const int64_t difference = static_cast<int64_t>(actual.c_ospeed) - rate;
    return (difference < 0 ? -difference : difference) * 100 <= static_cast<int64_t>(rate) * 3 ? TRUE : FALSE;
}

BOOL ComPortAPI_OpenCOM(int nId) {
    g_hCOM = openDevice(nId);
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        printf("ERROR: Opening COM%d failed !", nId);
        return FALSE;
    }
    ioctl(g_hCOM, TIOCEXCL);  // refused by some devices; flock already holds the port
    const int flags = fcntl(g_hCOM, F_GETFL);
    if (flags >= 0) fcntl(g_hCOM, F_SETFL, flags & ~O_NONBLOCK);
    // RX_SIZE and TX_SIZE: Linux drivers size their own queues.
    if (!applyTimeouts() || !applyLineSettings()) {
        printf("ERROR: COM%d configuration failed !", nId);
        ComPortAPI_CloseCOM();
        return FALSE;
    }
    // Nothing the unit sent before this open may ever be read.
    ioctl(g_hCOM, TCFLSH, TCIOFLUSH);
    // Pseudo-terminals have no modem lines; raising DTR and RTS is best effort.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(g_hCOM, TIOCMBIS, &lines);
    return TRUE;
}

BOOL ComPortAPI_ProbeCOM(int nId) {
    g_hCOM = openDevice(nId);
    return g_hCOM != INVALID_HANDLE_VALUE ? TRUE : FALSE;
}

// Only system calls: the signal handler uses this too. The device may stay open
// elsewhere (the other side of a pseudo-terminal), so exclusive use is given back
// explicitly, not left to the last close; flock goes with the descriptor.
static void releaseHandle(ComHandle handle) {
    if (handle == INVALID_HANDLE_VALUE) return;
    ioctl(handle, TIOCNXCL);
    close(handle);
}

BOOL ComPortAPI_CloseCOM() {
    releaseHandle(g_hCOM);
    g_hCOM = INVALID_HANDLE_VALUE;
    return TRUE;
}

void ComPortAPI_ReleaseOnSignal() { releaseHandle(g_hCOM); }

BOOL ComPortAPI_ReadCOM(void* buffer, int nBytesToRead, int* pBytesRead) {
    *pBytesRead = 0;
    if (g_hCOM == INVALID_HANDLE_VALUE || nBytesToRead < 0) return FALSE;
    // The interval limit equals the total limit and only starts with the first byte, so
    // the total limit always ends a read first: one deadline T after the read begins.
    const int64_t deadline = Platform_MonotonicMs() + Platform_ScaledMs(g_cto.ReadTotalTimeoutConstant);
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    int received = 0;
    bool lost = false;
    while (received < nBytesToRead) {
        const int64_t remaining = deadline - Platform_MonotonicMs();
        if (remaining <= 0) break;
        struct pollfd waitFor = {g_hCOM, POLLIN, 0};
        const int ready = poll(&waitFor, 1, static_cast<int>(remaining));
        if (ready < 0) {
            if (errno == EINTR) continue;
            lost = true;
            break;
        }
        if (ready == 0) continue;  // the loop head ends the read at the deadline
        if (waitFor.revents & POLLIN) {
            const ssize_t got = read(g_hCOM, bytes + received, static_cast<size_t>(nBytesToRead - received));
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
    *pBytesRead = received;
    return lost && received == 0 ? FALSE : TRUE;
}

BOOL ComPortAPI_WriteCOM(const void* buffer, int nBytesToWrite, int* pBytesWritten) {
    *pBytesWritten = 0;
    if (g_hCOM == INVALID_HANDLE_VALUE || nBytesToWrite < 0) return FALSE;
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    int written = 0;
    while (written < nBytesToWrite) {
        const ssize_t done = write(g_hCOM, bytes + written, static_cast<size_t>(nBytesToWrite - written));
        if (done > 0) {
            written += static_cast<int>(done);
        } else if (done < 0 && errno == EINTR) {
            continue;
        } else if (done < 0 && errno == EAGAIN) {
            struct pollfd waitFor = {g_hCOM, POLLOUT, 0};
            poll(&waitFor, 1, -1);
        } else {
            return FALSE;
        }
    }
    *pBytesWritten = written;
    return TRUE;
}

BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs) {
    if (static_cast<uint32_t>(timeoutInMs) == g_cto.ReadIntervalTimeout) return TRUE;
    g_cto.ReadIntervalTimeout = static_cast<uint32_t>(timeoutInMs);
    g_cto.ReadTotalTimeoutConstant = static_cast<uint32_t>(timeoutInMs);
    return applyTimeouts();
}

BOOL ComPortAPI_SetBaudRate(int baudrate) {
    if (static_cast<uint32_t>(baudrate) == g_dcb.BaudRate) return TRUE;
    g_dcb.BaudRate = static_cast<uint32_t>(baudrate);
    return applyLineSettings();
}

BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable) {
    if (static_cast<uint32_t>(isEnable) == g_dcb.fOutxCtsFlow) return TRUE;
    g_dcb.fOutxCtsFlow = static_cast<uint32_t>(isEnable) & 1u;
    return applyLineSettings();
}
