// The flat image: an Intel HEX text turned into the bytes that are sent to the unit, with
// its length and its checksum.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IntelHex.h"
#include "KestraneFwUpgrade.h"
#include "StringOperations.h"

// ":" + token + NUL. A longer token is refused rather than cut.
#define INTEL_HEX_LINE_BUFFER_SIZE 100
#define INTEL_HEX_MAX_TOKEN_LENGTH (INTEL_HEX_LINE_BUFFER_SIZE - 2)

// The first CR or LF of str, or null. Record lines hold their line end at the end, so two
// library scans find it and only the last few characters are walked one by one.
static char* firstLineEnd(char* str) {
    char* const cr = strchr(str, '\r');
    if (!cr) return strchr(str, '\n');
    char* const lf = static_cast<char*>(memchr(str, '\n', static_cast<size_t>(cr - str)));
    return lf ? lf : cr;
}

BOOL StrRemoveNL(char* str, char ch) {
    char* const first = firstLineEnd(str);
    // Each character is looked at before it is replaced, so a NUL written here never ends
    // the walk: it goes on to the terminator that the string had at the start.
    if (first)
        for (char* p = first; *p != '\0'; ++p)
            if (*p == '\r' || *p == '\n') *p = ch;
    return TRUE;
}

uint32_t imageChecksum(const uint8_t* image, int32_t length) {
    uint32_t checksum = 0;
    for (int32_t i = 0; i < length; ++i) checksum -= image[i];
    return checksum;
}

static void reportInvalidRecord(const char* line) {
    fputs("\r\n intel_hex_line_is_valid \r\n", stdout);
    fputs(line, stdout);
    fputs("\r\n", stdout);
}

// Builds ":" + token in line, cut at its first line end. FALSE when the token does not
// fit; line then holds as much of it as fits, cut the same way, for the diagnostic.
static BOOL buildRecordLine(const char* token, char* line) {
    line[0] = ':';
    // memchr stops at the first NUL, so it never reads past the end of the text.
    const char* const end = static_cast<const char*>(memchr(token, '\0', INTEL_HEX_MAX_TOKEN_LENGTH + 1));
    const size_t length = end ? static_cast<size_t>(end - token) : INTEL_HEX_MAX_TOKEN_LENGTH;
    memcpy(line + 1, token, length);
    line[1 + length] = '\0';
    StrRemoveNL(line, '\0');
    return end ? TRUE : FALSE;
}

// The address field of a line already known to be valid. intel_hex_line_address would
// check the whole record again, once more per record of a 3 MB text.
static uint16_t validRecordAddress(const char* line) {
    return static_cast<uint16_t>(u8_from_hex_string(line + 3) * 256 + u8_from_hex_string(line + 5));
}

// Places the record's data bytes at offset + address. FALSE when the record is not valid
// or would reach outside the image; a record whose data array the heap cannot supply is
// skipped, as no array means nothing to place.
static BOOL placeDataRecord(const char* line, uint32_t memoryOffset) {
    uint8_t* const data = new_u8_data_array_from_intel_hex_string(line);
    // The array comes only from a valid line, so its own check stands for the record's.
    if (!data) return intel_hex_line_is_valid(line) ? TRUE : FALSE;
    const uint32_t start = memoryOffset + validRecordAddress(line);
    const uint32_t count = intel_hex_line_data_length(line);
    // The length becomes the start, so a start past the end would send bytes outside too.
    if (start > CONCAT_BUFFER_SIZE || count > CONCAT_BUFFER_SIZE - start) {
        free(data);
        return FALSE;
    }
    memcpy(gDataConcatenated + start, data, count);
    gDataConcatenatedLenght = static_cast<int32_t>(start);
    free(data);
    return TRUE;
}

// Takes the new offset from the low byte of the upper address only. FALSE when the record
// is not valid or holds no upper address.
static BOOL takeExtendedLinearAddress(const char* line, uint32_t* memoryOffset) {
    uint8_t* const data = new_u8_data_array_from_intel_hex_string(line);
    if (!data) return intel_hex_line_is_valid(line) ? TRUE : FALSE;
    const BOOL holdsUpperAddress = intel_hex_line_data_length(line) >= 2 ? TRUE : FALSE;
    if (holdsUpperAddress) *memoryOffset = static_cast<uint32_t>(data[1]) << 16;
    free(data);
    return holdsUpperAddress;
}

static BOOL handleRecord(const char* line, uint32_t* memoryOffset) {
    if (intel_hex_line_is_data_record(line)) return placeDataRecord(line, *memoryOffset);
    if (intel_hex_line_is_extended_linear_address_record(line)) return takeExtendedLinearAddress(line, memoryOffset);
    // End of file, segment and start addresses: checked, and otherwise of no effect.
    return intel_hex_line_is_valid(line) ? TRUE : FALSE;
}

BOOL ValidateFwAndConcatenateData(char* gHexData) {
    memset(gDataConcatenated, 0xFF, CONCAT_BUFFER_SIZE);
    gDataConcatenatedLenght = 0;
    uint32_t memoryOffset = 0;

    char** const extractedHexLine = str_split(gHexData, ":");
    if (!extractedHexLine) {
        fputs("\r\nNUL extractedHexLine \r\n", stdout);
        return FALSE;
    }
    char intelHexStringLine[INTEL_HEX_LINE_BUFFER_SIZE];
    for (char** token = extractedHexLine; *token; ++token) {
        const BOOL fits = buildRecordLine(*token, intelHexStringLine);
        if (!fits || !handleRecord(intelHexStringLine, &memoryOffset)) {
            reportInvalidRecord(intelHexStringLine);
            free(extractedHexLine);
            return FALSE;
        }
    }
    free(extractedHexLine);
    return TRUE;
}
