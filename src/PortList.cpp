#include "PortList.h"

#include <climits>
#include <cstring>

int PortList_NumberOf(const char* name) {
    if (strncmp(name, "COM", 3) != 0 || name[3] < '1' || name[3] > '9') return 0;
    int64_t number = 0;
    for (const char* digit = name + 3; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') return 0;
        number = number * 10 + (*digit - '0');
        if (number > INT_MAX) return 0;
    }
    return static_cast<int>(number);
}

void PortList_Insert(int32_t number, int32_t* numbers, int* count, int capacity) {
    int at = *count;
    while (at > 0 && numbers[at - 1] > number) --at;
    if (at > 0 && numbers[at - 1] == number) return;
    if (*count >= capacity) return;
    memmove(numbers + at + 1, numbers + at, static_cast<size_t>(*count - at) * sizeof numbers[0]);
    numbers[at] = number;
    ++*count;
}
