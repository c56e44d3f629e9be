// Reader of one Intel HEX record line: ":" LL AAAA TT DD... CC.
//
// The reader never looks past the end of a line. A line too short to hold its start
// code, its fields, its data bytes and its checksum is not valid; characters between the
// data and the checksum (the last two characters) are allowed and never read.
#include "IntelHex.h"

#include <cstdlib>
#include <cstring>

#include "StringOperations.h"

// Positions of the fields in a record line.
static const size_t kLengthField = 1;
static const size_t kAddressHighField = 3;
static const size_t kAddressLowField = 5;
static const size_t kTypeDigit = 8;
static const size_t kFirstDataField = 9;
// Start code, data length, address, type and checksum: the characters of an empty record.
static const size_t kShortestRecord = 11;

// True when the line has a character at `position` (it is not shorter than position + 1).
static bool lineReaches(const char* line, size_t position) {
    for (size_t i = 0; i <= position; ++i)
        if (line[i] == '\0') return false;
    return true;
}

// Length of the line when it can hold a record of `dataLength` data bytes, else 0.
static size_t lengthOfCompleteRecord(const char* line, uint8_t dataLength) {
    const size_t length = strlen(line);
    return length >= kShortestRecord + 2u * dataLength ? length : 0;
}

uint8_t u8_checksum_from_hex_string(const char* hexString, uint8_t numberOfBytes) {
    uint8_t checksum = 0;
    for (uint8_t i = 0; i < numberOfBytes; ++i)
        checksum = static_cast<uint8_t>(checksum - u8_from_hex_string(hexString + 2u * i));
    return checksum;
}

uint8_t intel_hex_start_code_present(const char* intelHexString) { return intelHexString[0] == ':' ? 1 : 0; }

uint8_t intel_hex_line_data_length(const char* intelHexString) {
    if (intelHexString[0] == '\0') return 0;
    return u8_from_hex_string(intelHexString + kLengthField);
}

uint16_t intel_hex_line_address(const char* intelHexString) {
    if (!intel_hex_line_is_valid(intelHexString)) return 0;
    return static_cast<uint16_t>(u8_from_hex_string(intelHexString + kAddressHighField) * 256 +
                                 u8_from_hex_string(intelHexString + kAddressLowField));
}

uint8_t intel_hex_line_record_type(const char* intelHexString) {
    // Only the second digit of the type field counts. A line that ends before it reads
    // as if that digit were the terminator.
    const char digit = lineReaches(intelHexString, kTypeDigit) ? intelHexString[kTypeDigit] : '\0';
    return static_cast<uint8_t>(static_cast<unsigned char>(digit) - '0');
}

uint8_t intel_hex_line_is_data_record(const char* intelHexString) {
    return intel_hex_line_record_type(intelHexString) == 0 ? 1 : 0;
}

uint8_t intel_hex_line_is_extended_linear_address_record(const char* intelHexString) {
    return intel_hex_line_record_type(intelHexString) == 4 ? 1 : 0;
}

// The validity test. It reads each field once, so that the data array does not decode
// the data bytes a second time: when data is given, they are kept there as they are read.
static uint8_t checkRecord(const char* line, uint8_t* data) {
    if (!intel_hex_start_code_present(line)) return 0;
    const uint8_t dataLength = intel_hex_line_data_length(line);
    const size_t length = lengthOfCompleteRecord(line, dataLength);
    if (length == 0) return 0;
    // Data length, address and type, then the data bytes, each subtracted from 0: the
    // two's complement of the low byte of their sum.
    uint8_t computed = u8_checksum_from_hex_string(line + kLengthField, 4);
    for (size_t i = 0; i < dataLength; ++i) {
        const uint8_t byte = u8_from_hex_string(line + kFirstDataField + 2 * i);
        if (data) data[i] = byte;
        computed = static_cast<uint8_t>(computed - byte);
    }
    // The checksum is taken from the end of the line, wherever the data ended.
    return computed == u8_from_hex_string(line + length - 2) ? 1 : 0;
}

uint8_t intel_hex_line_is_valid(const char* intelHexString) { return checkRecord(intelHexString, nullptr); }

uint8_t* new_u8_data_array_from_intel_hex_string(const char* intelHexString) {
    const uint8_t dataLength = intel_hex_line_data_length(intelHexString);
    // One byte at least, so that a valid empty record still gets an array.
    uint8_t* const data = static_cast<uint8_t*>(malloc(dataLength > 0 ? dataLength : 1));
    if (data && !checkRecord(intelHexString, data)) {
        free(data);
        return nullptr;
    }
    return data;
}
