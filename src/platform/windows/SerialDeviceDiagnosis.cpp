// What Windows can tell about a serial port that could not be used: its own message for
// the error, and the COM ports it lists (QueryDosDevice: the names every serial driver
// registers, the same that HARDWARE\DEVICEMAP\SERIALCOMM mirrors). Nothing here opens a
// device.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PortList.h"
#include "SerialDevice.h"

// The list of every DOS device name grows with the machine; it is asked for with a
// larger buffer until it fits.
#define FIRST_LIST_SIZE 65536
#define LAST_LIST_SIZE (16 * 1024 * 1024)

void SerialDevice_ErrorText(SerialOutcome /*outcome*/, int32_t systemError, char* text, size_t size) {
    if (size == 0) return;
    text[0] = '\0';
    if (systemError == 0) return;
    const DWORD error = static_cast<DWORD>(systemError);
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, static_cast<DWORD>(size), nullptr);
    if (length == 0) {
        snprintf(text, size, "system error %lu", static_cast<unsigned long>(error));
        return;
    }
    // The system's messages end with a line end, sometimes after a blank.
    size_t end = strlen(text);
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ')) --end;
    text[end] = '\0';
}

// Windows does not say which process holds a port.
BOOL SerialDevice_Holder(int /*nId*/, char* /*text*/, size_t /*size*/) { return FALSE; }

// Windows keeps no user out of a COM port; a refused open means another program has it.
BOOL SerialDevice_PermissionAdvice(int /*nId*/, char* /*text*/, size_t /*size*/) { return FALSE; }

// The driver's device behind the name: "\Device\Serial0" for a port on the board,
// "\Device\VCP0" for an FTDI adapter, "\Device\USBSER000" for a CDC one.
void SerialDevice_Describe(int nId, char* text, size_t size) {
    if (size == 0) return;
    text[0] = '\0';
    char name[16];
    char target[1024];
    snprintf(name, sizeof name, "COM%d", nId);
    if (nId > 0 && QueryDosDeviceA(name, target, sizeof target) > 0) snprintf(text, size, "%s", target);
}

int SerialDevice_ListPorts(int32_t* numbers, int capacity) {
    int count = 0;
    for (DWORD size = FIRST_LIST_SIZE; size <= LAST_LIST_SIZE; size *= 4) {
        char* const names = static_cast<char*>(malloc(size));
        if (!names) return 0;
        const DWORD length = QueryDosDeviceA(nullptr, names, size);
        if (length == 0) {
            const DWORD error = GetLastError();
            free(names);
            if (error == ERROR_INSUFFICIENT_BUFFER) continue;
            return 0;
        }
        // A list of names, each ended by a NUL, the whole by one more.
        for (const char* name = names; name < names + length && *name; name += strlen(name) + 1) {
            const int number = PortList_NumberOf(name);
            if (number > 0) PortList_Insert(number, numbers, &count, capacity);
        }
        free(names);
        return count;
    }
    return 0;
}

void SerialDevice_SampleRule(char* text, size_t size) {
    snprintf(text, size, "%s",
             "This build carries the synthetic sample images and opens ports only under Wine, with COM_PORT_DIR "
             "naming the simulated ones: it never opens a real device.");
}

void SerialDevice_NoPortAdvice(char* text, size_t size) {
    snprintf(text, size, "%s",
             "Windows lists no COM port. Check that the adapter is plugged in and that its driver is installed "
             "(Device Manager, under \"Ports (COM & LPT)\").");
}
