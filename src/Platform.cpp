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

#include "ComPortAPI.h"

#ifndef KESTRANE_TIME_DIVISOR
#define KESTRANE_TIME_DIVISOR 1
#endif

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
    ComPortAPI_ReleaseOnSignal();
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

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// Reads one line from standard input, keeping at most size - 1 characters of it.
// Returns the line's full length, or -1 when input ended before any character.
static long readLine(char* line, size_t size) {
    size_t kept = 0;
    long length = 0;
    for (;;) {
        char c;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (length == 0) return -1;
            break;
        }
        if (c == '\n') break;
        if (kept + 1 < size) line[kept++] = c;
        ++length;
    }
    line[kept] = '\0';
    return length;
}

BOOL Platform_ReadDecimalInt(int* value) {
    char line[64];
    for (;;) {
        const long length = readLine(line, sizeof line);
        if (length < 0) return FALSE;
        if (length >= static_cast<long>(sizeof line)) return FALSE;
        const char* p = line;
        while (isBlank(*p)) ++p;
        if (*p == '\0') continue;  // an empty answer: keep waiting for one
        const char* digits = p;
        if (*digits == '+' || *digits == '-') ++digits;
        if (*digits < '0' || *digits > '9') return FALSE;
        errno = 0;
        char* end = nullptr;
        const long number = strtol(p, &end, 10);
        while (isBlank(*end)) ++end;
        if (*end != '\0' || errno == ERANGE || number < INT_MIN || number > INT_MAX) return FALSE;
        *value = static_cast<int>(number);
        return TRUE;
    }
}

int64_t Platform_ScaledMs(int64_t ms) {
    if (ms <= 0) return ms;
    const int64_t scaled = ms / KESTRANE_TIME_DIVISOR;
    return scaled > 0 ? scaled : 1;
}

void Platform_SleepMs(int ms) {
    const int64_t scaled = Platform_ScaledMs(ms);
    if (scaled <= 0) return;
    struct timespec rest = {static_cast<time_t>(scaled / 1000), static_cast<long>((scaled % 1000) * 1000000)};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int64_t Platform_MonotonicMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
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
