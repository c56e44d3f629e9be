// The embedded image set: names, sizes and the record layout of the three texts, and the
// heap copies made from them.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "KestraneFwUpgrade.h"
#include "firmware/BinImage.h"

namespace {

// One record as read by the test's own small parser.
struct Record {
    uint8_t type;
    uint32_t index;  // where its data lands in the flat image: (upper & 0xFF) << 16 | address
    std::vector<uint8_t> data;
};

struct ParsedText {
    std::vector<Record> records;
    std::vector<uint16_t> upperAddresses;
    size_t longestLine = 0;
    std::string fault;  // empty when every line is a well-formed CR LF record
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;  // lower case counts as a fault here: the set uses upper-case digits
}

ParsedText parse(const char* text, size_t length) {
    ParsedText parsed;
    uint16_t upper = 0;
    size_t pos = 0;
    size_t lineNumber = 0;
    while (pos < length && parsed.fault.empty()) {
        ++lineNumber;
        const char* lineEnd = static_cast<const char*>(memchr(text + pos, '\n', length - pos));
        const std::string where = "line " + std::to_string(lineNumber);
        if (!lineEnd || lineEnd == text + pos || lineEnd[-1] != '\r') {
            parsed.fault = where + ": not ended by CR LF";
            break;
        }
        const std::string line(text + pos, static_cast<size_t>(lineEnd - 1 - (text + pos)));
        pos = static_cast<size_t>(lineEnd - text) + 1;
        parsed.longestLine = std::max(parsed.longestLine, line.size());
        if (line.size() < 11 || line[0] != ':' || line.size() % 2 == 0) {
            parsed.fault = where + ": not a record";
            break;
        }
        std::vector<uint8_t> bytes;
        for (size_t i = 1; i < line.size(); i += 2) {
            const int high = hexDigit(line[i]);
            const int low = hexDigit(line[i + 1]);
            if (high < 0 || low < 0) {
                parsed.fault = where + ": not an upper-case hex digit";
                break;
            }
            bytes.push_back(static_cast<uint8_t>(high << 4 | low));
        }
        if (!parsed.fault.empty()) break;
        uint8_t sum = 0;
        for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
        if (bytes.size() != bytes[0] + 5u || sum != 0) {
            parsed.fault = where + ": bad length or checksum";
            break;
        }
        Record record;
        record.type = bytes[3];
        const uint32_t address = static_cast<uint32_t>(bytes[1]) << 8 | bytes[2];
        record.data.assign(bytes.begin() + 4, bytes.end() - 1);
        if (record.type == 0x04) {
            upper = static_cast<uint16_t>(record.data.at(0) << 8 | record.data.at(1));
            parsed.upperAddresses.push_back(upper);
        }
        record.index = static_cast<uint32_t>(upper & 0xFF) << 16 | address;
        parsed.records.push_back(record);
    }
    return parsed;
}

struct Expected {
    const char* fileName;
    int nameLength;
    const char* array;  // the array named after the file
    int32_t size;
    size_t records;
    size_t dataRecords;
    bool startLinearRecord;
    uint16_t firstUpper;
    uint16_t lastUpper;
    uint32_t firstIndex;
    uint32_t lastIndex;  // of the last data byte
    uint32_t lengthSent;  // the start of the last data record
    size_t lastDataBytes;
};

const Expected kSet[3] = {
    {"T284619_MCU_6G-SDI_61_1_06.hex", 30, T284619_MCU_6G_SDI_61_1_06_hex, 237718, 5286, 5282, true, 0x8000, 0x8001,
     0x8000, 0x1CB93, 0x1CB90, 4},
    {"T284619_TX_XC7A35_1_06.mcs", 26, T284619_TX_XC7A35_1_06_mcs, 3101252, 68928, 68910, false, 0x0000, 0x0010, 0,
     0x10D2DF, 0x10D2D0, 16},
    {"T284619_RX_XC7A35_1_06.mcs", 26, T284619_RX_XC7A35_1_06_mcs, 3146809, 69941, 69922, false, 0x0000, 0x0011, 0,
     0x11121F, 0x111210, 16},
};

TEST(EmbeddedSet, TableHoldsTheThreeTextsInOrderUnderTheirNames) {
    for (int i = 0; i < 3; ++i) {
        const Expected& want = kSet[i];
        const autogen_files& entry = AUTOGEN_FILES[i];
        SCOPED_TRACE(want.fileName);
        EXPECT_STREQ(entry.filePath, want.fileName);
        EXPECT_EQ(entry.filePathLength, want.nameLength);
        for (size_t c = static_cast<size_t>(want.nameLength); c < sizeof entry.filePath; ++c)
            EXPECT_EQ(entry.filePath[c], '\0') << c;
        EXPECT_EQ(entry.fileData, want.array);
        EXPECT_EQ(entry.fileDataLength, want.size);
        // The text holds no NUL, and one NUL ends it.
        EXPECT_EQ(strlen(entry.fileData), static_cast<size_t>(want.size));
    }
    EXPECT_EQ(sizeof(AUTOGEN_FILES) / sizeof(AUTOGEN_FILES[0]), 3u);
}

TEST(EmbeddedSet, TextsAreTheImageFilesOfTheBuildUnchanged) {
    if (!AUTOGEN_IS_SAMPLE_SET) GTEST_SKIP() << "built with real image files";
    for (const autogen_files& entry : AUTOGEN_FILES) {
        const std::string path = std::string(KESTRANE_SAMPLE_IMAGE_DIR) + "/" + entry.filePath;
        FILE* file = fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr) << path;
        std::string bytes;
        char chunk[65536];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
        fclose(file);
        EXPECT_TRUE(bytes == std::string(entry.fileData, static_cast<size_t>(entry.fileDataLength))) << path;
    }
}

TEST(EmbeddedSet, RecordLayoutIsThatOfTheReleasedSet) {
    for (int i = 0; i < 3; ++i) {
        const Expected& want = kSet[i];
        SCOPED_TRACE(want.fileName);
        const ParsedText text = parse(AUTOGEN_FILES[i].fileData, static_cast<size_t>(AUTOGEN_FILES[i].fileDataLength));
        ASSERT_EQ(text.fault, "");
        EXPECT_LE(text.longestLine, 43u);

        std::map<uint8_t, size_t> kinds;
        for (const Record& r : text.records) ++kinds[r.type];
        EXPECT_EQ(kinds.size(), want.startLinearRecord ? 4u : 3u) << "only types 00, 01, 04 and 05";
        EXPECT_EQ(text.records.size(), want.records);
        EXPECT_EQ(kinds[0x00], want.dataRecords);
        EXPECT_EQ(kinds[0x01], 1u);
        EXPECT_EQ(kinds[0x05], want.startLinearRecord ? 1u : 0u);
        EXPECT_EQ(kinds[0x04], static_cast<size_t>(want.lastUpper - want.firstUpper + 1));
        ASSERT_FALSE(text.upperAddresses.empty());
        for (size_t u = 0; u < text.upperAddresses.size(); ++u)
            EXPECT_EQ(text.upperAddresses[u], want.firstUpper + u) << "one per 64 KiB page, rising";
        EXPECT_EQ(text.records.back().type, 0x01) << "ends with the end-of-file record";
        EXPECT_TRUE(text.records.back().data.empty());

        // Data records in rising order; every 16 bytes long except the MCU's one short
        // record before its single gap and the last record of filler.
        std::vector<const Record*> data;
        for (const Record& r : text.records)
            if (r.type == 0x00) data.push_back(&r);
        EXPECT_EQ(data.front()->index, want.firstIndex);
        const Record& last = *data.back();
        EXPECT_EQ(last.index, want.lengthSent);
        EXPECT_EQ(last.index + last.data.size() - 1, want.lastIndex);
        EXPECT_EQ(last.data.size(), want.lastDataBytes);
        if (i == 0 || AUTOGEN_IS_SAMPLE_SET) {
            EXPECT_EQ(last.data, std::vector<uint8_t>(last.data.size(), 0xFF)) << "the last record is filler";
        }
        std::vector<std::pair<uint32_t, uint32_t>> gaps;  // (index, bytes)
        size_t shortRecords = 0;
        for (size_t d = 0; d + 1 < data.size(); ++d) {
            const uint32_t end = data[d]->index + static_cast<uint32_t>(data[d]->data.size());
            ASSERT_GE(data[d + 1]->index, end) << "record " << d << " overlaps or goes back";
            if (data[d + 1]->index > end) gaps.emplace_back(end, data[d + 1]->index - end);
            if (data[d]->data.size() != 16) {
                ++shortRecords;
                EXPECT_EQ(data[d]->data.size(), 8u);
                EXPECT_EQ(end, 0x19E78u);
            }
        }
        if (i == 0) {
            EXPECT_EQ(shortRecords, 1u);
            ASSERT_EQ(gaps.size(), 1u);
            EXPECT_EQ(gaps[0].first, 0x19E78u);
            EXPECT_EQ(gaps[0].second, 392u);
        } else {
            EXPECT_EQ(shortRecords, 0u);
            EXPECT_TRUE(gaps.empty());
        }
    }
}

TEST(EmbeddedSet, MicrocontrollerTextLivesInTheUpperAddressRangeOfItsDevice) {
    // Absolute addresses 0x80008000 to 0x8001CB93: the upper addresses carry 0x80 above
    // the byte that picks the image's 64 KiB page.
    const ParsedText text = parse(AUTOGEN_FILES[0].fileData, static_cast<size_t>(AUTOGEN_FILES[0].fileDataLength));
    ASSERT_EQ(text.fault, "");
    EXPECT_EQ(text.upperAddresses, (std::vector<uint16_t>{0x8000, 0x8001}));
    size_t startRecords = 0;
    for (const Record& r : text.records) {
        if (r.type != 0x05) continue;
        ++startRecords;
        EXPECT_EQ(r.data.size(), 4u);
    }
    EXPECT_EQ(startRecords, 1u);
    // The start linear address record sits right before the end-of-file record.
    ASSERT_GE(text.records.size(), 2u);
    EXPECT_EQ(text.records[text.records.size() - 2].type, 0x05);
}

void expectCopyOf(const char* copy, int index) {
    const autogen_files& entry = AUTOGEN_FILES[index];
    const size_t length = static_cast<size_t>(entry.fileDataLength);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, entry.fileData);
    EXPECT_GE(malloc_usable_size(const_cast<char*>(copy)), length + SPARE_BYTES);
    EXPECT_EQ(memcmp(copy, entry.fileData, length), 0);
    for (size_t i = 0; i < SPARE_BYTES; ++i) EXPECT_EQ(copy[length + i], '\0') << i;
    EXPECT_EQ(strlen(copy), length);
}

TEST(EmbeddedSet, CopiesAreTheTextFollowedBySixteenZeroBytes) {
    static_assert(SPARE_BYTES == 16, "the copy rule's 16 zero bytes");
    for (int index = 0; index < 3; ++index) {
        SCOPED_TRACE(index);
        char* copy = newCopyOfEmbeddedText(index);
        expectCopyOf(copy, index);
        // The copy is the assembly's to cut up; the embedded text stays as it was.
        copy[0] = 'X';
        EXPECT_EQ(AUTOGEN_FILES[index].fileData[0], ':');
        free(copy);
    }
}

TEST(EmbeddedSet, SharedBuffersStartAsTheEntryLeavesThem) {
    ASSERT_TRUE(allocateSharedBuffers());
    expectCopyOf(gHexFirmware, IMAGE_INDEX_MCU);
    EXPECT_EQ(gHexFPGA_Code, nullptr);
    ASSERT_NE(gDataConcatenated, nullptr);
    EXPECT_GE(malloc_usable_size(gDataConcatenated), static_cast<size_t>(CONCAT_BUFFER_SIZE + 16));
    size_t notFF = 0;
    for (size_t i = 0; i < CONCAT_BUFFER_SIZE; ++i) notFF += gDataConcatenated[i] != 0xFF;
    EXPECT_EQ(notFF, 0u);
    for (size_t i = CONCAT_BUFFER_SIZE; i < CONCAT_BUFFER_SIZE + 16; ++i) EXPECT_EQ(gDataConcatenated[i], 0) << i;
    ASSERT_NE(gDataBuffer, nullptr);
    EXPECT_GE(malloc_usable_size(gDataBuffer), static_cast<size_t>(DATA_BUFFER_SIZE));
    size_t notZero = 0;
    for (size_t i = 0; i < DATA_BUFFER_SIZE; ++i) notZero += gDataBuffer[i] != 0;
    EXPECT_EQ(notZero, 0u);

    gHexFPGA_Code = newCopyOfEmbeddedText(IMAGE_INDEX_RX_FPGA);
    releaseSharedBuffers();
    EXPECT_EQ(gHexFirmware, nullptr);
    EXPECT_EQ(gHexFPGA_Code, nullptr);
    EXPECT_EQ(gDataConcatenated, nullptr);
    EXPECT_EQ(gDataBuffer, nullptr);
}

}  // namespace
