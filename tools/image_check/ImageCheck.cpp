#include "ImageCheck.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

static const uint32_t kImageSize = 4u * 1024u * 1024u;  // the tool's flat image
static const size_t kMaxToken = 98;                      // characters from one ':' to the next
// The embedded table holds text lengths as int32_t, with room for the copies' spare bytes.
static const size_t kMaxTextSize = 0x7FFFFFF0u;

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Checks one record: the characters of a line from its ':' up to its line end.
static bool checkRecord(std::string_view record, uint32_t& upper, ImageTextFault& fault) {
    if ((record.size() - 1) % 2 != 0 || record.size() < 11) {
        fault.reason = "record too short or of odd length";
        return false;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 1; i + 1 < record.size(); i += 2) {
        const int high = hexValue(record[i]);
        const int low = hexValue(record[i + 1]);
        if (high < 0 || low < 0) {
            fault.reason = "character that is not a hexadecimal digit";
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    const size_t count = bytes[0];
    if (bytes.size() != count + 5) {
        fault.reason = "data length field does not match the record's length";
        return false;
    }
    uint8_t sum = 0;
    for (uint8_t byte : bytes) sum = static_cast<uint8_t>(sum + byte);
    if (sum != 0) {
        fault.reason = "checksum does not match";
        return false;
    }
    const uint32_t address = static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
    switch (bytes[3]) {
    case 0x00: {
        // The tool places a byte at the low byte of the upper address, shifted, plus
        // the record address: the same index must hold here.
        const uint32_t start = upper + address;
        if (start + count > kImageSize) {
            fault.reason = "data beyond the 4 MiB image";
            return false;
        }
        return true;
    }
    case 0x01:
    case 0x05:
        return true;
    case 0x02:
    case 0x03:
        fault.reason = "segment address record: only extended linear addressing is supported";
        return false;
    case 0x04:
        if (count != 2) {
            fault.reason = "extended linear address record without exactly two data bytes";
            return false;
        }
        if (address != 0) {
            fault.reason = "extended linear address record with an address field other than 0000";
            return false;
        }
        upper = static_cast<uint32_t>(bytes[5]) << 16;
        return true;
    default:
        fault.reason = "unknown record type";
        return false;
    }
}

bool checkImageText(const char* data, size_t length, ImageTextFault* fault) {
    *fault = ImageTextFault();
    if (length > kMaxTextSize) {
        fault->reason = "file too large";
        return false;
    }
    const std::string_view text(data, length);
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        fault->line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(nul), '\n'));
        fault->reason = "NUL byte in the text";
        return false;
    }
    if (text.empty() || text[0] != ':') {
        fault->line = 1;
        fault->reason = "the text does not begin with a record";
        return false;
    }
    uint32_t upper = 0;
    size_t line = 1;
    size_t pos = 0;
    while (pos < text.size()) {
        fault->line = line;
        size_t next = text.find(':', pos + 1);
        if (next == std::string_view::npos) next = text.size();
        if (next - pos - 1 > kMaxToken) {
            fault->reason = "more than 98 characters up to the next ':'";
            return false;
        }
        size_t end = pos;
        while (end < next && !isLineEnd(text[end])) ++end;
        if (!checkRecord(text.substr(pos, end - pos), upper, *fault)) return false;
        // Between a record's line end and the next ':' only line ends may stand.
        for (size_t i = end; i < next; ++i) {
            if (!isLineEnd(text[i])) {
                fault->line = line;
                fault->reason = "text outside a record";
                return false;
            }
            if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
        }
        pos = next;
    }
    *fault = ImageTextFault();
    return true;
}

std::string imageTextFaultMessage(const std::string& path, const ImageTextFault& fault) {
    if (fault.line == 0) return path + ": " + fault.reason;
    return path + ":" + std::to_string(fault.line) + ": " + fault.reason;
}
