#include "StringOperations.h"
// Placeholder until the module is written.
uint8_t int_from_hex_char(char) { return 0; }
uint8_t u8_from_hex_string(const char*) { return 0; }
char** str_split(char*, const char*) { return nullptr; }
