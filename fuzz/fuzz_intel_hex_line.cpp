// Any bytes as one record line: every reader operation must stay inside the line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "IntelHex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size heap copy, so that a read past the terminator is caught.
    char* line = static_cast<char*>(malloc(size + 1));
    if (!line) return 0;
    memcpy(line, data, size);
    line[size] = '\0';
    intel_hex_start_code_present(line);
    intel_hex_line_data_length(line);
    intel_hex_line_record_type(line);
    intel_hex_line_is_data_record(line);
    intel_hex_line_is_extended_linear_address_record(line);
    const uint8_t valid = intel_hex_line_is_valid(line);
    const uint16_t address = intel_hex_line_address(line);
    if (!valid && address != 0) abort();
    uint8_t* bytes = new_u8_data_array_from_intel_hex_string(line);
    if ((bytes != nullptr) != (valid != 0)) abort();
    free(bytes);
    u8_checksum_from_hex_string(line, static_cast<uint8_t>(strlen(line) / 2));
    free(line);
    return 0;
}
