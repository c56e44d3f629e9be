#include "HexRecord.h"

#include <cstdio>

std::string hexRecord(int type, int address, const std::vector<int>& data) {
    std::vector<int> bytes = {static_cast<int>(data.size()) & 0xFF, (address >> 8) & 0xFF, address & 0xFF, type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    int sum = 0;
    std::string text = ":";
    char field[3];
    for (int byte : bytes) {
        snprintf(field, sizeof field, "%02X", byte & 0xFF);
        text += field;
        sum += byte;
    }
    snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return text + field;
}
