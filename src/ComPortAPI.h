// The one serial port through which the tool talks to the unit.
//
// Ports are numbered 1 to 32. Two stored records, the time-outs and the line settings,
// outlive the port: a change made while no port is open is kept, reported as a failure,
// and applied by the next ComPortAPI_OpenCOM.
#ifndef COM_PORT_API_H
#define COM_PORT_API_H

#include <cstdint>

#include "KestraneTypes.h"

#define RX_SIZE 8192       // receive queue size requested at open (a hint only on Linux)
#define TX_SIZE 8192       // transmit queue size requested at open (a hint only on Linux)
#define MAX_WAIT_READ 500  // default read time-out in milliseconds
#define BAUD_RATE 9600     // default baud rate

// A port handle is a file descriptor.
typedef int ComHandle;
#define INVALID_HANDLE_VALUE (-1)

// Time-outs, all in milliseconds. ReadIntervalTimeout and ReadTotalTimeoutConstant always
// hold the same value T; the other three fields stay 0.
struct COMMTIMEOUTS {
    uint32_t ReadIntervalTimeout;
    uint32_t ReadTotalTimeoutMultiplier;
    uint32_t ReadTotalTimeoutConstant;
    uint32_t WriteTotalTimeoutMultiplier;
    uint32_t WriteTotalTimeoutConstant;
};

#define DTR_CONTROL_ENABLE 1
#define RTS_CONTROL_ENABLE 1
#define NOPARITY 0
#define ONESTOPBIT 0

// Line settings. Only BaudRate and fOutxCtsFlow ever change; the rest describes the one
// line the unit speaks: 8N1, raw bytes, DTR and RTS raised, no software flow control.
struct DCB {
    uint32_t DCBlength;
    uint32_t BaudRate;
    uint32_t fBinary : 1;
    uint32_t fParity : 1;
    uint32_t fOutxCtsFlow : 1;
    uint32_t fOutxDsrFlow : 1;
    uint32_t fDtrControl : 2;
    uint32_t fDsrSensitivity : 1;
    uint32_t fTXContinueOnXoff : 1;
    uint32_t fOutX : 1;
    uint32_t fInX : 1;
    uint32_t fErrorChar : 1;
    uint32_t fNull : 1;
    uint32_t fRtsControl : 2;
    uint32_t fAbortOnError : 1;
    uint32_t fDummy2 : 17;
    uint16_t wReserved;
    uint16_t XonLim;
    uint16_t XoffLim;
    uint8_t ByteSize;
    uint8_t Parity;
    uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    uint16_t wReserved1;
};

extern ComHandle g_hCOM;
extern COMMTIMEOUTS g_cto;
extern DCB g_dcb;

// Opens and configures port nId. On failure writes "ERROR: Opening COM%d failed !" or
// "ERROR: COM%d configuration failed !" (no line feed) and leaves no port open.
BOOL ComPortAPI_OpenCOM(int nId);
// Closes the port, if any; always TRUE.
BOOL ComPortAPI_CloseCOM();
// One read of up to nBytesToRead bytes. A read that does not fill the buffer lasts the
// whole read time-out T and returns what arrived. *pBytesRead is 0 on failure.
BOOL ComPortAPI_ReadCOM(void* buffer, int nBytesToRead, int* pBytesRead);
// Writes every byte, or fails. *pBytesWritten is 0 on failure.
BOOL ComPortAPI_WriteCOM(const void* buffer, int nBytesToWrite, int* pBytesWritten);
BOOL ComPortAPI_SetReadingTimeoutInMs(int timeoutInMs);
BOOL ComPortAPI_SetBaudRate(int baudrate);
BOOL ComPortAPI_SetHardwareFlowControl(BOOL isEnable);

// The port search's probe: opens port nId as ComPortAPI_OpenCOM would (same exclusive
// use), configures nothing and prints nothing; the handle goes into g_hCOM. The caller
// closes it with ComPortAPI_CloseCOM.
BOOL ComPortAPI_ProbeCOM(int nId);

// For the signal handler only: gives up the port at once (async-signal-safe).
void ComPortAPI_ReleaseOnSignal();

#endif
