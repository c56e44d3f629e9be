// Hexadecimal digits and in-place text splitting.
#include "StringOperations.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "KestraneTypes.h"

namespace {

// Every image byte is read through this conversion, two digits at a time, a few million
// times per image: one table look-up instead of three range tests per digit.
struct HexDigitTable {
    uint8_t value[256];
};

constexpr HexDigitTable makeHexDigitTable() {
    HexDigitTable table = {};
    for (int c = '0'; c <= '9'; ++c) table.value[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table.value[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table.value[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
}

constexpr HexDigitTable kHexDigits = makeHexDigitTable();

}  // namespace

uint8_t int_from_hex_char(char aChar) { return kHexDigits.value[static_cast<unsigned char>(aChar)]; }

uint8_t u8_from_hex_string(const char* inputString) {
    // Fewer than two characters left: the lone digit is taken as it is, not shifted.
    if (inputString[0] == '\0' || inputString[1] == '\0') return int_from_hex_char(inputString[0]);
    return static_cast<uint8_t>(int_from_hex_char(inputString[0]) * 16 + int_from_hex_char(inputString[1]));
}

static bool isSeparator(char c, const char* ct) {
    for (; *ct != '\0'; ++ct)
        if (*ct == c) return true;
    return false;
}

// Start of the next token, or the end of the text. Separators mostly stand alone, so a
// plain walk is cheaper here than a library scan.
static char* skipSeparators(char* s, const char* ct) {
    while (*s != '\0' && isSeparator(*s, ct)) ++s;
    return s;
}

// The first separator of the token at s, or its terminator. The assembly splits at one
// character, which strchr finds several times faster than strcspn.
static char* endOfToken(char* s, const char* ct) {
    if (ct[0] != '\0' && ct[1] == '\0') {
        char* const separator = strchr(s, ct[0]);
        return separator ? separator : s + strlen(s);
    }
    return s + strcspn(s, ct);
}

// The list cannot be given up half-built: the caller would assemble part of an image.
[[noreturn]] static void endForLackOfMemory(char** list) {
    fputs("Memoire insuffisante\n", stdout);
    free(list);
    exit(EXIT_OUT_OF_MEMORY);
}

// Makes room for entry `index`: the capacity doubles whenever index + 1 reaches it.
static char** roomForEntry(char** list, size_t index, size_t* capacity) {
    if (index + 1 < *capacity) return list;
    *capacity *= 2;
    char** grown = static_cast<char**>(realloc(list, *capacity * sizeof *list));
    if (!grown) endForLackOfMemory(list);
    return grown;
}

char** str_split(char* s, const char* ct) {
    if (!s || !ct) return nullptr;
    char** list = nullptr;
    size_t capacity = 1;
    size_t count = 0;
    char* cursor = skipSeparators(s, ct);
    while (*cursor != '\0') {
        char* const tokenEnd = endOfToken(cursor, ct);
        list = roomForEntry(list, count, &capacity);
        list[count++] = cursor;
        if (*tokenEnd == '\0') break;
        *tokenEnd = '\0';
        cursor = skipSeparators(tokenEnd + 1, ct);
    }
    // A text without tokens still gets a list: one that holds only the end entry.
    if (!list) {
        list = static_cast<char**>(malloc(sizeof *list));
        if (!list) endForLackOfMemory(list);
    }
    list[count] = nullptr;
    return list;
}
