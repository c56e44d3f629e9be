// The list of COM numbers a report gives, as both systems' device layers build it.
#ifndef PORT_LIST_H
#define PORT_LIST_H

#include <cstdint>

// "COM12" -> 12; 0 for any other name (leading zeros, signs, a tail or a number beyond
// int included).
int PortList_NumberOf(const char* name);

// Puts number into numbers[0, *count), kept ascending and without repeats, while there is
// room for it (capacity).
void PortList_Insert(int32_t number, int32_t* numbers, int* count, int capacity);

#endif
