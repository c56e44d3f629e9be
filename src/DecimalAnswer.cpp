// The user's answer at the dialogue's prompts: one line holding one decimal number.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "Platform.h"

long Platform_ReadLine(char* line, size_t size) {
    size_t kept = 0;
    long length = 0;
    for (;;) {
        char c;
        if (!Platform_ReadInputByte(&c)) {
            if (length == 0) return -1;
            break;
        }
        if (c == '\n') break;
        if (kept + 1 < size) line[kept++] = c;
        ++length;
    }
    line[kept] = '\0';
    return length;
}

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

BOOL Platform_ReadDecimalInt(int* value) {
    char line[64];
    for (;;) {
        const long length = Platform_ReadLine(line, sizeof line);
        if (length < 0) return FALSE;
        if (length >= static_cast<long>(sizeof line)) return FALSE;
        const char* p = line;
        while (isBlank(*p)) ++p;
        if (*p == '\0') continue;  // an empty answer: keep waiting for one
        const char* digits = p;
        if (*digits == '+' || *digits == '-') ++digits;
        if (*digits < '0' || *digits > '9') return FALSE;
        errno = 0;
        char* end = nullptr;
        const long long number = strtoll(p, &end, 10);
        while (isBlank(*end)) ++end;
        if (*end != '\0' || errno == ERANGE || number < INT_MIN || number > INT_MAX) return FALSE;
        *value = static_cast<int>(number);
        return TRUE;
    }
}
