// The port handle and the two stored records of the serial port module. Each system
// defines the three types in its own ComPortTypes.h: on Windows they are the system's
// HANDLE, COMMTIMEOUTS and DCB, elsewhere records of the same fields in the same order.
#ifndef COM_PORT_RECORDS_H
#define COM_PORT_RECORDS_H

#include "ComPortTypes.h"

// The port; INVALID_HANDLE_VALUE when none is open (or the last open failed).
extern ComHandle g_hCOM;
// Time-outs in milliseconds. ReadIntervalTimeout and ReadTotalTimeoutConstant always hold
// the same value T; the other three fields stay 0.
extern COMMTIMEOUTS g_cto;
// Line settings. Only BaudRate and fOutxCtsFlow ever change; the rest describes the one
// line the unit speaks: 8N1, raw bytes, DTR and RTS raised, no software flow control.
extern DCB g_dcb;

#endif
