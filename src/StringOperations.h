// Hexadecimal digits and in-place text splitting.
#ifndef STRING_OPERATIONS_H
#define STRING_OPERATIONS_H

#include <cstdint>

// Value of one hexadecimal digit (either case); any other character counts as 0.
uint8_t int_from_hex_char(char aChar);

// Value of the two-digit byte field at inputString. When fewer than two characters
// remain before the end of the whole string, the value of the first one alone.
uint8_t u8_from_hex_string(const char* inputString);

// Splits s in place at any character of ct. Returns a heap list of pointers to the
// tokens inside s, ended by a null entry (the caller frees the list), or null when
// s or ct is null.
char** str_split(char* s, const char* ct);

#endif
