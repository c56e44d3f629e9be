// The serial device on Windows: the thin layer over the communications interface. The
// system itself keeps a port for one process (share mode 0) and ends each read by the
// time-outs applied with SetCommTimeouts.
#include "SerialDevice.h"

#include <cstdio>
#include <cstdlib>

#include "Platform.h"

#ifndef KESTRANE_SAMPLE_IMAGES
#define KESTRANE_SAMPLE_IMAGES 0
#endif

// A build with the synthetic sample images must never reach a real unit. It opens ports
// only under Wine, and only when COM_PORT_DIR names the directory of simulated ports that
// the Wine prefix maps COM1 to COM32 into: on Windows itself it opens none.
static bool mayOpenPorts() {
    if (!KESTRANE_SAMPLE_IMAGES) return true;
    const char* const dir = getenv("COM_PORT_DIR");
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return dir && *dir && ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Windows answers ERROR_ACCESS_DENIED for a port that another process has open: a COM
// port is for one process at a time (share mode 0).
static SerialOutcome outcomeOfOpenError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST: return SERIAL_NO_DEVICE;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return SERIAL_HELD;
    default: return SERIAL_OTHER_FAILURE;
    }
}

ComHandle SerialDevice_Open(int /*nId*/, const char* szCOM) {
    snprintf(g_serialDeviceStatus.device, sizeof g_serialDeviceStatus.device, "%s", szCOM);
    if (!mayOpenPorts()) {
        SerialDevice_NoteOutcome(SERIAL_SAMPLE_RULE, 0);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE handle = CreateFileA(szCOM, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_SYSTEM, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        SerialDevice_NoteOutcome(outcomeOfOpenError(error), static_cast<int32_t>(error));
    } else {
        SerialDevice_NoteOutcome(SERIAL_OPENED, 0);
    }
    return handle;
}

void SerialDevice_Close(ComHandle handle) { CloseHandle(handle); }

void SerialDevice_RequestQueues(ComHandle handle, uint32_t receiveBytes, uint32_t transmitBytes) {
    SetupComm(handle, receiveBytes, transmitBytes);
}

// The driver times the reads; the test-only build hands it the divided time-outs.
BOOL SerialDevice_ApplyTimeouts(ComHandle handle, const COMMTIMEOUTS& timeouts) {
    COMMTIMEOUTS applied = timeouts;
    applied.ReadIntervalTimeout = static_cast<DWORD>(Platform_ScaledMs(timeouts.ReadIntervalTimeout));
    applied.ReadTotalTimeoutConstant = static_cast<DWORD>(Platform_ScaledMs(timeouts.ReadTotalTimeoutConstant));
    if (SetCommTimeouts(handle, &applied)) return TRUE;
    SerialDevice_NoteOutcome(SERIAL_SETTINGS_REFUSED, static_cast<int32_t>(GetLastError()));
    return FALSE;
}

BOOL SerialDevice_ApplyLineSettings(ComHandle handle, const DCB& line) {
    DCB applied = line;
    if (SetCommState(handle, &applied)) return TRUE;
    SerialDevice_NoteOutcome(SERIAL_SETTINGS_REFUSED, static_cast<int32_t>(GetLastError()));
    return FALSE;
}

void SerialDevice_Purge(ComHandle handle) {
    PurgeComm(handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void SerialDevice_RaiseDtr(ComHandle handle) { EscapeCommFunction(handle, SETDTR); }

BOOL SerialDevice_Read(ComHandle handle, void* buffer, int bytesToRead, int* bytesRead) {
    DWORD got = 0;
    const BOOL done = ReadFile(handle, buffer, static_cast<DWORD>(bytesToRead), &got, nullptr);
    *bytesRead = static_cast<int>(got);
    return done ? TRUE : FALSE;
}

// Without write time-outs a synchronous WriteFile returns when the port has taken every
// byte, or fails.
BOOL SerialDevice_Write(ComHandle handle, const void* buffer, int bytesToWrite, int* bytesWritten) {
    DWORD written = 0;
    const BOOL done = WriteFile(handle, buffer, static_cast<DWORD>(bytesToWrite), &written, nullptr);
    *bytesWritten = done ? static_cast<int>(written) : 0;
    return done ? TRUE : FALSE;
}
