// The Intel HEX record reader: validity, fields, record types and the data array.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "IntelHex.h"

namespace {

// A heap copy of exactly the line and its terminator, so that the sanitizer build catches
// any read past the end.
struct ExactLine {
    explicit ExactLine(const std::string& text) : line(static_cast<char*>(malloc(text.size() + 1))) {
        memcpy(line, text.c_str(), text.size() + 1);
    }
    ~ExactLine() { free(line); }
    ExactLine(const ExactLine&) = delete;
    ExactLine& operator=(const ExactLine&) = delete;
    char* line;
};

std::vector<int> dataOf(const std::string& text) {
    ExactLine line(text);
    uint8_t* data = new_u8_data_array_from_intel_hex_string(line.line);
    std::vector<int> bytes;
    if (!data) return {-1};
    for (int i = 0; i < intel_hex_line_data_length(line.line); ++i) bytes.push_back(data[i]);
    free(data);
    return bytes;
}

bool isValid(const std::string& text) {
    ExactLine line(text);
    return intel_hex_line_is_valid(line.line) == 1;
}

}  // namespace

TEST(IntelHex, ExtendedLinearAddressRecordIsValidWithItsChecksumOnly) {
    EXPECT_TRUE(isValid(":02000004800179"));
    for (int checksum = 0; checksum < 256; ++checksum) {
        if (checksum == 0x79) continue;
        char line[32];
        snprintf(line, sizeof line, ":020000048001%02X", checksum);
        EXPECT_FALSE(isValid(line)) << line;
    }
    EXPECT_EQ(dataOf(":02000004800179"), (std::vector<int>{0x80, 0x01}));
    EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(":02000004800179"), 1);
}

TEST(IntelHex, ChecksumOfByteFieldsIsZeroMinusTheirSum) {
    EXPECT_EQ(u8_checksum_from_hex_string("0300300002337A", 7), 0x1E);
    EXPECT_EQ(u8_checksum_from_hex_string("0300300002337A", 0), 0);
    EXPECT_EQ(u8_checksum_from_hex_string("FF01", 2), 0);
    EXPECT_EQ(u8_checksum_from_hex_string("ff02", 2), 0xFF);
}

TEST(IntelHex, RecordReadsTheSameInUpperAndLowerCase) {
    for (const char* text : {":10010000214601360121470136007EFE09D2190140",
                             ":10010000214601360121470136007efe09d2190140"}) {
        ExactLine line(text);
        EXPECT_EQ(intel_hex_line_is_valid(line.line), 1) << text;
        EXPECT_EQ(intel_hex_line_data_length(line.line), 16) << text;
        EXPECT_EQ(intel_hex_line_address(line.line), 0x0100) << text;
        EXPECT_EQ(intel_hex_line_is_data_record(line.line), 1) << text;
        EXPECT_EQ(dataOf(text), (std::vector<int>{0x21, 0x46, 0x01, 0x36, 0x01, 0x21, 0x47, 0x01, 0x36, 0x00, 0x7E,
                                                  0xFE, 0x09, 0xD2, 0x19, 0x01}))
            << text;
    }
}

TEST(IntelHex, OnlyTheSecondTypeDigitCounts) {
    const struct {
        const char* line;
        int type;
        int data;
        int extendedLinear;
    } cases[] = {
        {":0000000000", 0, 1, 0},   {":0200000480017", 4, 0, 1}, {":0000001000", 0, 1, 0},  {":0000001400", 4, 0, 1},
        {":00000001FF", 1, 0, 0},   {":0000000200", 2, 0, 0},    {":0000000300", 3, 0, 0},  {":0000000500", 5, 0, 0},
        {":000000A0A0", 0, 1, 0},   {":000000_A00", 17, 0, 0},   {"X00000001FF", 1, 0, 0},
    };
    for (const auto& c : cases) {
        ExactLine line(c.line);
        EXPECT_EQ(intel_hex_line_record_type(line.line), c.type) << c.line;
        EXPECT_EQ(intel_hex_line_is_data_record(line.line), c.data) << c.line;
        EXPECT_EQ(intel_hex_line_is_extended_linear_address_record(line.line), c.extendedLinear) << c.line;
    }
}

TEST(IntelHex, LineWithoutStartCodeIsNotValidButItsLengthAndTypeAreRead) {
    ExactLine line("X0300300002337A1E");
    EXPECT_EQ(intel_hex_start_code_present(line.line), 0);
    EXPECT_EQ(intel_hex_line_is_valid(line.line), 0);
    EXPECT_EQ(intel_hex_line_address(line.line), 0);
    EXPECT_EQ(new_u8_data_array_from_intel_hex_string(line.line), nullptr);
    EXPECT_EQ(intel_hex_line_data_length(line.line), 3);
    EXPECT_EQ(intel_hex_line_record_type(line.line), 0);
    EXPECT_EQ(intel_hex_start_code_present(":0300300002337A1E"), 1);
}

TEST(IntelHex, ChecksumIsTakenFromTheLastTwoCharacters) {
    const struct {
        const char* line;
        bool valid;
    } cases[] = {
        {":0300300002337A1E", true},
        {":0300300002337A1E00", false},      // appended: the last two no longer match
        {":0300300002337A1E1E", true},       // appended, and the last two match again
        {":0300300002337AFFFF1E", true},     // inserted between data and checksum: not read
        {":0300300002337A1F", false},
        {":0300300002337B1E", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isValid(c.line), c.valid) << c.line;
        if (c.valid) {
            EXPECT_EQ(dataOf(c.line), (std::vector<int>{0x02, 0x33, 0x7A})) << c.line;
        }
    }
}

TEST(IntelHex, EmptyRecordIsValidAndYieldsAnArray) {
    ExactLine line(":00000001FF");
    uint8_t* data = new_u8_data_array_from_intel_hex_string(line.line);
    EXPECT_NE(data, nullptr);
    free(data);
    EXPECT_TRUE(isValid(":0000000000"));
}

TEST(IntelHex, AddressOfAValidRecordOnlyAndZeroOnceItsChecksumFails) {
    ExactLine valid(":01123400AB0E");
    EXPECT_EQ(intel_hex_line_address(valid.line), 0x1234);
    ExactLine changed(":01123400AC0E");
    EXPECT_EQ(intel_hex_line_is_valid(changed.line), 0);
    EXPECT_EQ(intel_hex_line_address(changed.line), 0);
    EXPECT_EQ(new_u8_data_array_from_intel_hex_string(changed.line), nullptr);
}

// The reader never looks past the end of a line: a line too short to hold its fields,
// its data bytes and a checksum of its own is not valid, whatever its characters add up to.
TEST(IntelHex, LineTooShortForItsDataLengthAndChecksumIsNotValid) {
    const char* const cases[] = {
        "",           ":",          ":0",         ":00",       ":000000",  ":00000000", ":000000000",
        ":10010000",  ":1001000021", ":0300300002337A",
        ":02000000FE00",  // data FE 00 with its checksum 00 standing on the last data byte
        ":0100000000",    // one data byte announced, none left beside the checksum
    };
    for (const char* text : cases) {
        ExactLine line(text);
        EXPECT_EQ(intel_hex_line_is_valid(line.line), 0) << '"' << text << '"';
        EXPECT_EQ(intel_hex_line_address(line.line), 0) << '"' << text << '"';
        EXPECT_EQ(new_u8_data_array_from_intel_hex_string(line.line), nullptr) << '"' << text << '"';
        intel_hex_line_data_length(line.line);
        intel_hex_line_record_type(line.line);
    }
    // Type of a line that ends before its type digit: that of a NUL there, neither data
    // nor extended linear address.
    ExactLine shortLine(":0000");
    EXPECT_EQ(intel_hex_line_record_type(shortLine.line), static_cast<uint8_t>('\0' - '0'));
    EXPECT_EQ(intel_hex_line_is_data_record(shortLine.line), 0);
    EXPECT_EQ(intel_hex_line_data_length(""), 0);
}
