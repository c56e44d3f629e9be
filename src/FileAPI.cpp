// One output file at a time. Every operation reports its own failure as a console line, so
// callers only look at the result.
#include "FileAPI.h"

#include <cerrno>
#include <cstdio>

static const char* const kOpenFailedLine = "ERROR: File does not exists\n";
static const char* const kNotOpenedLine = "ERROR: File does not exists or Not opened !\n";
static const char* const kWriteFailedLine = "ERROR: File could not be written !\n";

// The one file the module holds; null when none is open.
static FILE* fptr = nullptr;

// The console lines say only that a step failed; a caller that wants to tell the user
// why asks for the system's reason, kept here before anything else can change errno.
static int lastErrorNumber = 0;

static void keepErrorNumber() { lastErrorNumber = errno; }

// Only the value 1 asks for binary mode; every other value keeps the text mode.
static const char* modeOf(char action, BOOL isBinary) {
    if (action == 'w') return isBinary == TRUE ? "wb" : "w";
    if (action == 'a') return isBinary == TRUE ? "ab" : "a";
    return isBinary == TRUE ? "rb" : "r";
}

static BOOL openHeldFile(const char* fileName, char action, BOOL isBinary) {
    // A file still held would otherwise stay open, its buffered bytes unwritten, until
    // the process ends.
    if (fptr) fclose(fptr);
    errno = 0;
    fptr = fileName ? fopen(fileName, modeOf(action, isBinary)) : nullptr;
    if (fptr) return TRUE;
    if (fileName) keepErrorNumber();
    fputs(kOpenFailedLine, stdout);
    return FALSE;
}

static BOOL fileIsHeld() {
    if (fptr) return TRUE;
    fputs(kNotOpenedLine, stdout);
    return FALSE;
}

static BOOL reportWrite(BOOL written) {
    if (!written) fputs(kWriteFailedLine, stdout);
    return written;
}

BOOL FileAPI_CreateFile(const char* fileName, BOOL isBinary) { return openHeldFile(fileName, 'w', isBinary); }

BOOL FileAPI_OpenFile_ToWrite(const char* fileName, BOOL isBinary) { return openHeldFile(fileName, 'a', isBinary); }

BOOL FileAPI_OpenFile_ToRead(const char* fileName, BOOL isBinary) { return openHeldFile(fileName, 'r', isBinary); }

// Writes the text as it stands, except that "%%" becomes one "%", the way callers have
// always written a percent sign. Any other "%" is an ordinary character and comes out
// unchanged: the text is never taken as a format, so it cannot read arguments that were
// never passed.
BOOL FileAPI_writeToFile(const char* stringToWrite) {
    if (!fileIsHeld()) return FALSE;
    BOOL written = TRUE;
    for (const char* c = stringToWrite ? stringToWrite : ""; *c != '\0'; ++c) {
        if (c[0] == '%' && c[1] == '%') ++c;
        errno = 0;
        if (fputc(*c, fptr) == EOF && written) {
            keepErrorNumber();
            written = FALSE;
        }
    }
    return reportWrite(written);
}

BOOL FileAPI_writeToFileBinary(const uint8_t* dataToWrite, uint32_t dataLength) {
    if (!fileIsHeld()) return FALSE;
    if (dataLength == 0) return TRUE;
    if (!dataToWrite) return reportWrite(FALSE);
    errno = 0;
    const BOOL written = fwrite(dataToWrite, 1, dataLength, fptr) == dataLength ? TRUE : FALSE;
    if (!written) keepErrorNumber();
    return reportWrite(written);
}

// The close lets go of the file: a later write or close, without an open in between, is
// told that no file is open instead of touching a closed stream. The close is where the
// last buffered bytes reach the file, so a full disk often shows only here.
BOOL FileAPI_CloseFile() {
    if (!fileIsHeld()) return FALSE;
    errno = 0;
    const BOOL written = fclose(fptr) == 0 ? TRUE : FALSE;
    if (!written) keepErrorNumber();
    fptr = nullptr;
    return reportWrite(written);
}

int FileAPI_LastErrorNumber() { return lastErrorNumber; }
