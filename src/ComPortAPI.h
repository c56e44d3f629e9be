// The one serial port through which the tool talks to the unit.
//
// Ports are numbered 1 to 32. Two stored records, the time-outs and the line settings,
// outlive the port: a change made while no port is open is kept, reported as a failure,
// and applied by the next ComPortAPI_OpenCOM. The records and the handle themselves are
// declared in ComPortRecords.h, for the few that need them.
#ifndef COM_PORT_API_H
#define COM_PORT_API_H

#include "KestraneTypes.h"

#define RX_SIZE 8192       // receive queue size requested at open (a hint only on Linux)
#define TX_SIZE 8192       // transmit queue size requested at open (a hint only on Linux)
#define MAX_WAIT_READ 500  // default read time-out in milliseconds
#define BAUD_RATE 9600     // default baud rate

// Opens and configures port nId. On failure writes "ERROR: Opening COM%d failed !" or
// "ERROR: COM%d configuration failed !" (no line feed), then the reason as one line on
// standard error (PortDiagnosis.h), and leaves no port open.
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
// use), configures nothing and prints nothing, on either stream; what it met is noted
// for the search's report. The handle goes into g_hCOM. The caller closes it with
// ComPortAPI_CloseCOM.
BOOL ComPortAPI_ProbeCOM(int nId);

#endif
