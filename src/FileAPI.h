// One output file at a time, each operation reporting its own failure on the console.
#ifndef FILE_API_H
#define FILE_API_H

#include <cstdint>

#include "KestraneTypes.h"

BOOL FileAPI_CreateFile(const char* fileName, BOOL isBinary);
BOOL FileAPI_OpenFile_ToWrite(const char* fileName, BOOL isBinary);
BOOL FileAPI_OpenFile_ToRead(const char* fileName, BOOL isBinary);
BOOL FileAPI_writeToFile(const char* stringToWrite);
BOOL FileAPI_writeToFileBinary(const uint8_t* dataToWrite, uint32_t dataLength);
BOOL FileAPI_CloseFile();
// errno of the latest open, write or close that failed (0 when none has, or the system
// gave no reason): for a message that says why a file could not be written.
int FileAPI_LastErrorNumber();

#endif
