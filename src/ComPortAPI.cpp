// The serial port module: the stored records, the steps of an open with their messages,
// and the rule of the three setters. What each step does to the device is the system's
// business (SerialDevice.h).
#include "ComPortAPI.h"

#include <climits>
#include <cstdio>

#include "ComPortRecords.h"
#include "PortDiagnosis.h"
#include "SerialDevice.h"

ComHandle g_hCOM = INVALID_HANDLE_VALUE;
SerialDeviceStatus g_serialDeviceStatus = {SERIAL_OPENED, 0, ""};

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

// Ports are those whose name "\\.\COMn" fits in 16 characters, from 1 up.
static ComHandle openDevice(int nId) {
    char szCOM[16];
    const int nameLength = snprintf(szCOM, sizeof szCOM, "\\\\.\\COM%d", nId);
    if (nId <= 0 || nameLength < 0 || nameLength >= static_cast<int>(sizeof szCOM)) {
        SerialDevice_NoteOutcome(SERIAL_NO_SUCH_PORT, 0);
        g_serialDeviceStatus.device[0] = '\0';
        return INVALID_HANDLE_VALUE;
    }
    return SerialDevice_Open(nId, szCOM);
}

static BOOL applyTimeouts() {
    if (g_hCOM == INVALID_HANDLE_VALUE) return FALSE;
    return SerialDevice_ApplyTimeouts(g_hCOM, g_cto);
}

// A rate of 0, or one that came from a negative number, is no rate a line can run at.
static BOOL applyLineSettings() {
    if (g_hCOM == INVALID_HANDLE_VALUE) return FALSE;
    if (g_dcb.BaudRate == 0 || g_dcb.BaudRate > INT_MAX) {
        SerialDevice_NoteOutcome(SERIAL_SETTINGS_REFUSED, 0);
        return FALSE;
    }
    return SerialDevice_ApplyLineSettings(g_hCOM, g_dcb);
}

BOOL ComPortAPI_OpenCOM(int nId) {
    g_hCOM = openDevice(nId);
    if (g_hCOM == INVALID_HANDLE_VALUE) {
        printf("ERROR: Opening COM%d failed !", nId);
        PortDiagnosis_ExplainFailedOpen(nId);
        PortDiagnosis_NoteOpen(nId, FALSE);
        return FALSE;
    }
    SerialDevice_RequestQueues(g_hCOM, RX_SIZE, TX_SIZE);
    if (!applyTimeouts() || !applyLineSettings()) {
        printf("ERROR: COM%d configuration failed !", nId);
        PortDiagnosis_ExplainFailedOpen(nId);
        PortDiagnosis_NoteOpen(nId, FALSE);
        ComPortAPI_CloseCOM();
        return FALSE;
    }
    // Nothing the unit sent before this open may ever be read.
    SerialDevice_Purge(g_hCOM);
    SerialDevice_RaiseDtr(g_hCOM);
    PortDiagnosis_NoteOpen(nId, TRUE);
    return TRUE;
}

// Silent on both streams: the search's report tells afterwards what the probes met.
BOOL ComPortAPI_ProbeCOM(int nId) {
    g_hCOM = openDevice(nId);
    const BOOL opened = g_hCOM != INVALID_HANDLE_VALUE ? TRUE : FALSE;
    PortDiagnosis_NoteProbe(nId, opened);
    return opened;
}

BOOL ComPortAPI_CloseCOM() {
    if (g_hCOM != INVALID_HANDLE_VALUE) SerialDevice_Close(g_hCOM);
    g_hCOM = INVALID_HANDLE_VALUE;
    return TRUE;
}

BOOL ComPortAPI_ReadCOM(void* buffer, int nBytesToRead, int* pBytesRead) {
    *pBytesRead = 0;
    if (g_hCOM == INVALID_HANDLE_VALUE || nBytesToRead < 0) return FALSE;
    return SerialDevice_Read(g_hCOM, buffer, nBytesToRead, pBytesRead);
}

BOOL ComPortAPI_WriteCOM(const void* buffer, int nBytesToWrite, int* pBytesWritten) {
    *pBytesWritten = 0;
    if (g_hCOM == INVALID_HANDLE_VALUE || nBytesToWrite < 0) return FALSE;
    return SerialDevice_Write(g_hCOM, buffer, nBytesToWrite, pBytesWritten);
}

// The three setters: an unchanged value leaves the port alone; a new one is stored first,
// so that the next open applies it even when there is no port to apply it to now.
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
