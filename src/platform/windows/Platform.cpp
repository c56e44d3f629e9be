// Console, pauses and clock on Windows.
//
// Standard output stays in the C runtime's text mode, as in every console program of the
// system: each "\n" reaches the console as "\r\n".
#include "Platform.h"

#include <conio.h>

#include "WindowsApi.h"

#include <cstdio>
#include <cstdlib>

void Platform_InitConsole() {
    // Every text must be on the console before the port operation or pause after it.
    setvbuf(stdout, nullptr, _IONBF, 0);
}

static bool inputIsConsole() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void Platform_WaitForKey() {
    if (!inputIsConsole()) return;  // scripts and CI: nobody to press a key
    // What was typed before, the Enter of the last answer included, does not count.
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
    const int key = _getch();
    // A function or arrow key comes as two codes: the second must not be left over.
    if (key == 0 || key == 0xE0) _getch();
}

// From the handle itself, not through the C runtime's buffered stream.
BOOL Platform_ReadInputByte(char* byte) {
    DWORD got = 0;
    return ReadFile(GetStdHandle(STD_INPUT_HANDLE), byte, 1, &got, nullptr) && got == 1 ? TRUE : FALSE;
}

void Platform_SleepMs(int ms) {
    const int64_t scaled = Platform_ScaledMs(ms);
    if (scaled > 0) Sleep(static_cast<DWORD>(scaled));
}

int64_t Platform_MonotonicUs() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency.QuadPart * 1000000 + now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

// Large pages need a privilege that a console tool does not have: an ordinary block.
void* Platform_AllocateLarge(size_t size) { return malloc(size == 0 ? 1 : size); }
