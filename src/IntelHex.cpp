#include "IntelHex.h"
// Placeholder until the module is written.
uint8_t u8_checksum_from_hex_string(const char*, uint8_t) { return 0; }
uint8_t intel_hex_start_code_present(const char*) { return 0; }
uint8_t intel_hex_line_data_length(const char*) { return 0; }
uint16_t intel_hex_line_address(const char*) { return 0; }
uint8_t intel_hex_line_record_type(const char*) { return 0; }
uint8_t intel_hex_line_is_data_record(const char*) { return 0; }
uint8_t intel_hex_line_is_extended_linear_address_record(const char*) { return 0; }
uint8_t intel_hex_line_is_valid(const char*) { return 0; }
uint8_t* new_u8_data_array_from_intel_hex_string(const char*) { return nullptr; }
