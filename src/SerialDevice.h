// What the serial port module needs of the operating system: one implementation per
// system, under platform/. The module itself (ComPortAPI.cpp) keeps the records, the
// order of the steps of an open and every console message; what it writes about why a
// port could not be used is put together once, in PortDiagnosis.cpp, from what the
// system says here.
#ifndef SERIAL_DEVICE_H
#define SERIAL_DEVICE_H

#include <cstddef>
#include <cstdint>

#include "ComPortRecords.h"
#include "KestraneTypes.h"

// Opens the device of port nId, whose Windows name is szCOM ("\\.\COMn"), for reading and
// writing, for this process alone, existing devices only. Configures nothing.
// INVALID_HANDLE_VALUE when it cannot; g_serialDeviceStatus then says why.
ComHandle SerialDevice_Open(int nId, const char* szCOM);
void SerialDevice_Close(ComHandle handle);
// A request for driver queue sizes; systems that size their own queues ignore it.
void SerialDevice_RequestQueues(ComHandle handle, uint32_t receiveBytes, uint32_t transmitBytes);
// Both note a refusal in g_serialDeviceStatus.
BOOL SerialDevice_ApplyTimeouts(ComHandle handle, const COMMTIMEOUTS& timeouts);
BOOL SerialDevice_ApplyLineSettings(ComHandle handle, const DCB& line);
// Cancels pending transfers and empties both driver buffers.
void SerialDevice_Purge(ComHandle handle);
void SerialDevice_RaiseDtr(ComHandle handle);
// One read under the time-out rule of the stored time-outs; *bytesRead set in every case.
BOOL SerialDevice_Read(ComHandle handle, void* buffer, int bytesToRead, int* bytesRead);
// Returns once every byte has been taken by the port, or fails.
BOOL SerialDevice_Write(ComHandle handle, const void* buffer, int bytesToWrite, int* bytesWritten);

// ---- why a port could not be used ----

enum SerialOutcome {
    SERIAL_OPENED,             // the last open succeeded
    SERIAL_NO_SUCH_PORT,       // the number stands for no device name at all
    SERIAL_NO_DEVICE,          // no device by that name: not plugged in, no driver
    SERIAL_PERMISSION_DENIED,  // the device is there, this user may not open it
    SERIAL_HELD,               // another program holds the device
    SERIAL_SAMPLE_RULE,        // a build of the sample images reaches only simulated units
    SERIAL_SETTINGS_REFUSED,   // opened, but the time-outs or line settings were refused
    SERIAL_OTHER_FAILURE,      // any other error of the system
};

#define SERIAL_DEVICE_NAME_SIZE 4096

struct SerialDeviceStatus {
    SerialOutcome outcome;
    int32_t systemError;                   // errno or GetLastError(); 0 when the system gave none
    char device[SERIAL_DEVICE_NAME_SIZE];  // the device path or name that was opened; "" when none
};

// Why the last open, or the settings applied after it, failed. Set by every
// SerialDevice_Open and by each refusal of SerialDevice_Apply*.
extern SerialDeviceStatus g_serialDeviceStatus;

// Notes why the last open or the settings after it failed (SERIAL_OPENED after a success);
// the device name is noted by the open itself.
inline void SerialDevice_NoteOutcome(SerialOutcome outcome, int32_t systemError) {
    g_serialDeviceStatus.outcome = outcome;
    g_serialDeviceStatus.systemError = systemError;
}

// The system's own text for systemError, without line end ("" for 0).
void SerialDevice_ErrorText(SerialOutcome outcome, int32_t systemError, char* text, size_t size);
// The programs that hold the device of port nId, e.g. "picocom (process 4242)"; FALSE when
// the system does not tell.
BOOL SerialDevice_Holder(int nId, char* text, size_t size);
// What a user refused access to the device of port nId can do about it; FALSE when the
// system has no advice.
BOOL SerialDevice_PermissionAdvice(int nId, char* text, size_t size);
// Port nId as a report names it: its device and the names the system knows it by (the
// target of a link, the adapter's /dev/serial/by-id name, the driver's device); "" when
// the port number is all there is to say. Opens nothing.
void SerialDevice_Describe(int nId, char* text, size_t size);
// The COM numbers of the serial ports the system lists, ascending, at most capacity of
// them; returns how many. Opens nothing.
int SerialDevice_ListPorts(int32_t* numbers, int capacity);
// The rule by which a build of the sample images refused the ports, as one sentence.
void SerialDevice_SampleRule(char* text, size_t size);
// What to check when the system has no serial port at all, as one or two sentences.
void SerialDevice_NoPortAdvice(char* text, size_t size);

#endif
