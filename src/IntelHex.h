// Reader of one Intel HEX record held as a NUL-terminated line that starts with ':'.
#ifndef INTEL_HEX_H
#define INTEL_HEX_H

#include <cstdint>

uint8_t u8_checksum_from_hex_string(const char* hexString, uint8_t numberOfBytes);
uint8_t intel_hex_start_code_present(const char* intelHexString);
uint8_t intel_hex_line_data_length(const char* intelHexString);
uint16_t intel_hex_line_address(const char* intelHexString);
uint8_t intel_hex_line_record_type(const char* intelHexString);
uint8_t intel_hex_line_is_data_record(const char* intelHexString);
uint8_t intel_hex_line_is_extended_linear_address_record(const char* intelHexString);
uint8_t intel_hex_line_is_valid(const char* intelHexString);
// The record's data bytes in a new heap array (the caller frees it), or null when the
// line is not valid. A valid record without data bytes still yields an array.
uint8_t* new_u8_data_array_from_intel_hex_string(const char* intelHexString);

#endif
