#include "FileAPI.h"
// Placeholder until the module is written.
BOOL FileAPI_CreateFile(const char*, BOOL) { return FALSE; }
BOOL FileAPI_OpenFile_ToWrite(const char*, BOOL) { return FALSE; }
BOOL FileAPI_OpenFile_ToRead(const char*, BOOL) { return FALSE; }
BOOL FileAPI_writeToFile(const char*) { return FALSE; }
BOOL FileAPI_writeToFileBinary(const uint8_t*, uint32_t) { return FALSE; }
BOOL FileAPI_CloseFile() { return FALSE; }
