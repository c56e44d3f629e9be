// The port handle and the two records of the serial port module on Linux: a file
// descriptor, and records with the fields of the Windows COMMTIMEOUTS and DCB in their
// order and widths, so that one description of the line serves both systems.
#ifndef COM_PORT_TYPES_H
#define COM_PORT_TYPES_H

#include <cstdint>

typedef int ComHandle;
#define INVALID_HANDLE_VALUE (-1)

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

#endif
