// Why a port could not be used, and which serial ports the machine has. Written to
// standard error, beside the console texts of the run, which stay as they are: a terminal
// shows both, a script keeps them apart.
#ifndef PORT_DIAGNOSIS_H
#define PORT_DIAGNOSIS_H

#include "KestraneTypes.h"

// After the console message of a failed ComPortAPI_OpenCOM of port nId, on the same
// terminal line: one line with the device and the system's reason, from
// g_serialDeviceStatus, and what to do about the common causes. The sample build's rule
// is explained once per run, however many ports it refuses.
void PortDiagnosis_ExplainFailedOpen(int nId);

// What the port search met on port nId: its probe, then each open at a rate. Recorded
// silently, for the report below.
void PortDiagnosis_NoteProbe(int nId, BOOL opened);
void PortDiagnosis_NoteOpen(int nId, BOOL opened);

// After a search that found no unit: the serial ports of the machine with their COM
// numbers, and for each why it could not be used; or that there is none, and what to
// check. Opens no port.
void PortDiagnosis_ReportSearch();

#endif
