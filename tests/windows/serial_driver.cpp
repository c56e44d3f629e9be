// Drives the serial port module of the Windows build step by step, for the tests that
// show its rules under Wine: each argument is one step, and each step prints one line of
// results (after whatever the module itself writes).
//
//   serial-driver STEP...
//     open N | probe N | close       ComPortAPI_OpenCOM / ComPortAPI_ProbeCOM / CloseCOM
//     timeout MS | baud R | cts 0|1  the three setters
//     read N                         one read of up to N bytes: result, count, time, bytes
//     write TEXT                     one write
//     records                        the stored records, field by field
//     wait                           prints "waiting", then waits for a line on stdin
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ComPortAPI.h"
#include "ComPortRecords.h"
#include "Platform.h"

static unsigned flagWord(const DCB& line) {
    unsigned word;
    memcpy(&word, reinterpret_cast<const char*>(&line) + 8, sizeof word);
    return word;
}

static void printRecords() {
    printf("cto=%lu,%lu,%lu,%lu,%lu dcb=%lu,%lu,0x%04X,%u,%u,%u,%u,%u,%u,%u,0x%02X,0x%02X,0x%02X,0x%02X,0x%02X,%u,%u\n",
           g_cto.ReadIntervalTimeout, g_cto.ReadTotalTimeoutMultiplier, g_cto.ReadTotalTimeoutConstant,
           g_cto.WriteTotalTimeoutMultiplier, g_cto.WriteTotalTimeoutConstant, g_dcb.DCBlength, g_dcb.BaudRate,
           flagWord(g_dcb), g_dcb.wReserved, g_dcb.XonLim, g_dcb.XoffLim, g_dcb.ByteSize, g_dcb.Parity,
           g_dcb.StopBits, static_cast<unsigned>(sizeof g_dcb), g_dcb.XonChar & 0xFF, g_dcb.XoffChar & 0xFF,
           g_dcb.ErrorChar & 0xFF, g_dcb.EofChar & 0xFF, g_dcb.EvtChar & 0xFF, g_dcb.wReserved1,
           static_cast<unsigned>(sizeof g_cto));
}

static void readStep(int count) {
    static char buffer[4096];
    if (count < 0 || count > static_cast<int>(sizeof buffer)) count = static_cast<int>(sizeof buffer);
    int got = -1;
    const int64_t start = Platform_MonotonicUs();
    const BOOL done = ComPortAPI_ReadCOM(buffer, count, &got);
    const int64_t took = (Platform_MonotonicUs() - start) / 1000;
    printf("read=%d n=%d ms=%" PRId64 " bytes=", done, got, took);
    for (int i = 0; i < got; ++i) printf("%02X", static_cast<unsigned char>(buffer[i]));
    printf("\n");
}

int main(int argc, char** argv) {
    Platform_InitConsole();
    for (int i = 1; i < argc; ++i) {
        const char* const step = argv[i];
        const char* const value = i + 1 < argc ? argv[i + 1] : "";
        if (strcmp(step, "open") == 0) {
            printf("\nopen=%d\n", ComPortAPI_OpenCOM(atoi(value)));
            ++i;
        } else if (strcmp(step, "probe") == 0) {
            printf("probe=%d\n", ComPortAPI_ProbeCOM(atoi(value)));
            ++i;
        } else if (strcmp(step, "close") == 0) {
            printf("close=%d\n", ComPortAPI_CloseCOM());
        } else if (strcmp(step, "timeout") == 0) {
            printf("set=%d\n", ComPortAPI_SetReadingTimeoutInMs(atoi(value)));
            ++i;
        } else if (strcmp(step, "baud") == 0) {
            printf("set=%d\n", ComPortAPI_SetBaudRate(atoi(value)));
            ++i;
        } else if (strcmp(step, "cts") == 0) {
            printf("set=%d\n", ComPortAPI_SetHardwareFlowControl(atoi(value)));
            ++i;
        } else if (strcmp(step, "read") == 0) {
            readStep(atoi(value));
            ++i;
        } else if (strcmp(step, "write") == 0) {
            int written = -1;
            const BOOL done = ComPortAPI_WriteCOM(value, static_cast<int>(strlen(value)), &written);
            printf("write=%d n=%d\n", done, written);
            ++i;
        } else if (strcmp(step, "records") == 0) {
            printRecords();
        } else if (strcmp(step, "wait") == 0) {
            printf("waiting\n");
            char line[16];
            Platform_ReadLine(line, sizeof line);
        } else {
            fprintf(stderr, "serial-driver: unknown step %s\n", step);
            return 64;
        }
    }
    ComPortAPI_CloseCOM();
    return 0;
}
