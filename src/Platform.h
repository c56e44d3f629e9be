// Console, pauses and clock: what the tool needs of the operating system besides the port.
// One implementation per system under platform/; the answer lines and the test-time
// scaling are shared (DecimalAnswer.cpp, TestTime.cpp).
#ifndef PLATFORM_H
#define PLATFORM_H

#include <cstddef>
#include <cstdint>

#include "KestraneTypes.h"

// Makes standard output unbuffered; on Linux also installs the handlers that restore the
// terminal and give up the port on SIGINT, SIGTERM and SIGHUP. Call once, first thing.
void Platform_InitConsole();

// Waits for one key press without echo and without Enter; input typed before the call
// does not count. Returns at once when standard input is not a terminal (a console).
void Platform_WaitForKey();

// Reads the next byte of standard input, unbuffered: nothing typed stays in a buffer of
// ours for the key wait to miss. FALSE at the end of input.
BOOL Platform_ReadInputByte(char* byte);

// Reads one line from standard input, keeping at most size - 1 characters of it (the line
// end not among them). Returns the line's full length, or -1 when input ended before any
// character.
long Platform_ReadLine(char* line, size_t size);

// Reads one answer line from standard input and takes it as a decimal integer. FALSE when
// the line is not one (or input has ended); *value is then left unchanged.
BOOL Platform_ReadDecimalInt(int* value);

// Pauses the thread for ms milliseconds (divided by the test-time factor in test builds).
void Platform_SleepMs(int ms);

// Microseconds of a monotonic clock.
int64_t Platform_MonotonicUs();

// ms divided by the test-time factor (1 in the shipping build); never below 1 for ms > 0.
int64_t Platform_ScaledMs(int64_t ms);

// A heap block of size bytes, released with free(), that the system is asked to back
// with large pages where it can. Its contents are not set. Null when the heap cannot
// supply it.
void* Platform_AllocateLarge(size_t size);

#endif
