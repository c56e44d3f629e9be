// Intel HEX records for test texts, with their checksum, in upper-case digits.
#ifndef KESTRANE_HEX_RECORD_H
#define KESTRANE_HEX_RECORD_H

#include <string>
#include <vector>

// ":" LL AAAA TT data CC, without a line end.
std::string hexRecord(int type, int address, const std::vector<int>& data);

#endif
