// Console, pauses and clock on Linux.
//
// Standard input is only ever read here, straight from its file descriptor, never through
// the C library's buffered streams: what the key wait discards is then all there is.
#include "Platform.h"

#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "ComPortRecords.h"
#include "SerialDevice.h"

// The terminal settings to put back if a signal ends the run during the key wait.
static struct termios s_savedTerminal;
static volatile sig_atomic_t s_terminalChanged = 0;

static void restoreTerminal() {
    if (s_terminalChanged) {
        tcsetattr(STDIN_FILENO, TCSANOW, &s_savedTerminal);
        s_terminalChanged = 0;
    }
}

// Runs on SIGINT, SIGTERM and SIGHUP: only async-signal-safe calls. The terminal gets its
// settings back and the port is given up, so that another program can take it at once;
// then the signal ends the process as it would have without the handler.
static void onTerminatingSignal(int signalNumber) {
    restoreTerminal();
    if (g_hCOM != INVALID_HANDLE_VALUE) SerialDevice_Close(g_hCOM);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void Platform_InitConsole() {
    // Every text must be on the console before the port operation or pause after it.
    setvbuf(stdout, nullptr, _IONBF, 0);
    struct sigaction action = {};
    action.sa_handler = onTerminatingSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void Platform_WaitForKey() {
    if (!isatty(STDIN_FILENO)) return;  // scripts and CI: nobody to press a key
    struct termios keyMode;
    if (tcgetattr(STDIN_FILENO, &s_savedTerminal) != 0) return;
    keyMode = s_savedTerminal;
    keyMode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keyMode.c_cc[VMIN] = 1;
    keyMode.c_cc[VTIME] = 0;
    s_terminalChanged = 1;
    // TCSAFLUSH drops whatever was typed before, the Enter of the last answer included.
    if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &keyMode) != 0) {
        s_terminalChanged = 0;
        return;
    }
    unsigned char key;
    ssize_t got;
    do {
        got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    // A key that sends several bytes (an arrow) must not leave the rest to the shell.
    tcflush(STDIN_FILENO, TCIFLUSH);
    restoreTerminal();
}

BOOL Platform_ReadInputByte(char* byte) {
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, byte, 1);
        if (got == 1) return TRUE;
        if (got < 0 && errno == EINTR) continue;
        return FALSE;
    }
}

void Platform_SleepMs(int ms) {
    const int64_t scaled = Platform_ScaledMs(ms);
    if (scaled <= 0) return;
    struct timespec rest = {static_cast<time_t>(scaled / 1000), static_cast<long>((scaled % 1000) * 1000000)};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int64_t Platform_MonotonicUs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

void* Platform_AllocateLarge(size_t size) {
    // On the virtual machines we run on, the first touch of each 4 KiB page costs some
    // 15 us: a 4 MiB image would spend 15 ms in page faults alone. A 2 MiB page takes one.
    // The kernel gives large pages only to blocks aligned to them, and only when asked.
    const size_t largePage = 2u << 20;
    if (size > SIZE_MAX - largePage) return nullptr;
    const size_t rounded = size == 0 ? largePage : (size + largePage - 1) / largePage * largePage;
    void* const block = aligned_alloc(largePage, rounded);
    if (!block) return nullptr;
    madvise(block, rounded, MADV_HUGEPAGE);  // advice only: without it the block is as good
    return block;
}
