// What the serial port module needs of the operating system: one implementation per
// system, under platform/. The module itself (ComPortAPI.cpp) keeps the records, the
// order of the steps of an open and every console message.
#ifndef SERIAL_DEVICE_H
#define SERIAL_DEVICE_H

#include <cstdint>

#include "ComPortRecords.h"
#include "KestraneTypes.h"

// Opens the device of port nId, whose Windows name is szCOM ("\\.\COMn"), for reading and
// writing, for this process alone, existing devices only. Configures nothing.
// INVALID_HANDLE_VALUE when it cannot.
ComHandle SerialDevice_Open(int nId, const char* szCOM);
void SerialDevice_Close(ComHandle handle);
// A request for driver queue sizes; systems that size their own queues ignore it.
void SerialDevice_RequestQueues(ComHandle handle, uint32_t receiveBytes, uint32_t transmitBytes);
BOOL SerialDevice_ApplyTimeouts(ComHandle handle, const COMMTIMEOUTS& timeouts);
BOOL SerialDevice_ApplyLineSettings(ComHandle handle, const DCB& line);
// Cancels pending transfers and empties both driver buffers.
void SerialDevice_Purge(ComHandle handle);
void SerialDevice_RaiseDtr(ComHandle handle);
// One read under the time-out rule of the stored time-outs; *bytesRead set in every case.
BOOL SerialDevice_Read(ComHandle handle, void* buffer, int bytesToRead, int* bytesRead);
// Returns once every byte has been taken by the port, or fails.
BOOL SerialDevice_Write(ComHandle handle, const void* buffer, int bytesToWrite, int* bytesWritten);

#endif
