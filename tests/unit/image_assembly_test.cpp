// The flat image assembly: placement, length, checksum, diagnostics and the embedded set.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "KestraneFwUpgrade.h"
#include "HexRecord.h"
#include "StdoutCapture.h"
#include "firmware/BinImage.h"

namespace {

std::string record(int type, int address, const std::vector<int>& data) { return hexRecord(type, address, data); }
std::string data(int address, const std::vector<int>& bytes) { return record(0x00, address, bytes); }
std::string extendedLinear(int upper) { return record(0x04, 0, {(upper >> 8) & 0xFF, upper & 0xFF}); }
const std::string kEndOfFile = ":00000001FF";

std::string lines(const std::vector<std::string>& records, const std::string& lineEnd = "\r\n") {
    std::string text;
    for (const std::string& r : records) text += r + lineEnd;
    return text;
}

struct Assembly {
    BOOL ok;
    std::string output;
};

class ImageAssembly : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(allocateSharedBuffers()); }
    void TearDown() override { releaseSharedBuffers(); }

    // Assembles a heap copy of text made as the tool makes its copies.
    static Assembly assemble(const std::string& text) {
        char* copy = static_cast<char*>(calloc(text.size() + SPARE_BYTES, 1));
        memcpy(copy, text.data(), text.size());
        StdoutCapture capture;
        const BOOL ok = ValidateFwAndConcatenateData(copy);
        Assembly result = {ok, capture.finish()};
        free(copy);
        return result;
    }

    // Every image byte that is not 0xFF, by index.
    static std::map<uint32_t, int> writtenBytes() {
        std::map<uint32_t, int> written;
        for (uint32_t i = 0; i < CONCAT_BUFFER_SIZE; ++i)
            if (gDataConcatenated[i] != 0xFF) written[i] = gDataConcatenated[i];
        return written;
    }

    static uint32_t checksum() { return imageChecksum(gDataConcatenated, gDataConcatenatedLenght); }

    static bool spareBytesAreZero() {
        for (int i = 0; i < SPARE_BYTES; ++i)
            if (gDataConcatenated[CONCAT_BUFFER_SIZE + i] != 0) return false;
        return true;
    }
};

std::string invalidRecordOutput(const std::string& cutLine) {
    return "\r\n intel_hex_line_is_valid \r\n" + cutLine + "\r\n";
}

}  // namespace

TEST_F(ImageAssembly, UpperAddressRecordPlacesDataAboveSixtyFourKiBAndTheLastRecordIsNotCounted) {
    gDataConcatenatedCheckSum = 1234;
    const Assembly a = assemble(
        lines({extendedLinear(0x8001), data(0x0010, {1, 2, 3, 4}), data(0x0020, {0xFF, 0xFF}), kEndOfFile}));
    ASSERT_TRUE(a.ok) << visible(a.output);
    EXPECT_EQ(a.output, "");
    EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{0x10010, 1}, {0x10011, 2}, {0x10012, 3}, {0x10013, 4}}));
    EXPECT_EQ(gDataConcatenatedLenght, 65568);
    EXPECT_EQ(checksum(), 4278248466u);
    EXPECT_EQ(gDataConcatenatedCheckSum, 1234u) << "the assembly leaves the checksum to its callers";
}

TEST_F(ImageAssembly, LengthIsTheStartOfTheLastDataRecordAndTheChecksumSumsUpToIt) {
    const Assembly a = assemble(lines({data(0, {0x61, 0x62, 0x63}), data(3, {0xFF}), kEndOfFile}));
    ASSERT_TRUE(a.ok) << visible(a.output);
    EXPECT_EQ(gDataConcatenatedLenght, 3);
    EXPECT_EQ(checksum(), 4294967002u);
}

TEST_F(ImageAssembly, RecordsInFallingOrderLeaveTheLengthAtTheLastOnesStart) {
    const Assembly a = assemble(lines({data(0x0100, {0x11, 0x22}), data(0x0000, {0x33, 0x44}), kEndOfFile}));
    ASSERT_TRUE(a.ok) << visible(a.output);
    EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{0x0, 0x33}, {0x1, 0x44}, {0x100, 0x11}, {0x101, 0x22}}));
    EXPECT_EQ(gDataConcatenatedLenght, 0);
    EXPECT_EQ(checksum(), 0u);
}

TEST_F(ImageAssembly, LaterRecordsWinAndNoEarlierImageShowsThrough) {
    ASSERT_TRUE(assemble(lines({data(0x40, {1, 2, 3, 4}), data(0x80, {})})).ok);
    const Assembly a = assemble(lines({data(0x10, {5, 6, 7}), data(0x11, {8}), kEndOfFile}));
    ASSERT_TRUE(a.ok) << visible(a.output);
    EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{0x10, 5}, {0x11, 8}, {0x12, 7}}));
    EXPECT_EQ(gDataConcatenatedLenght, 0x11);
}

TEST_F(ImageAssembly, TextWithoutDataRecordsGivesAnEmptyImage) {
    for (const std::string& text : {lines({kEndOfFile}), std::string(""), lines({extendedLinear(0x0002)})}) {
        const Assembly a = assemble(text);
        ASSERT_TRUE(a.ok) << visible(text) << visible(a.output);
        EXPECT_TRUE(writtenBytes().empty());
        EXPECT_EQ(gDataConcatenatedLenght, 0);
        EXPECT_EQ(checksum(), 0u);
    }
}

TEST_F(ImageAssembly, OnlyTheLowByteOfTheUpperAddressCounts) {
    const struct {
        int upper;
        uint32_t index;
    } cases[] = {{0x0100, 0x0}, {0x0001, 0x10000}, {0x8001, 0x10000}, {0x003F, 0x3F0000}, {0xFF00, 0x0}};
    for (const auto& c : cases) {
        const Assembly a = assemble(lines({extendedLinear(c.upper), data(0x0004, {0xAB}), data(0x0005, {})}));
        ASSERT_TRUE(a.ok) << c.upper << visible(a.output);
        EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{c.index + 4, 0xAB}})) << std::hex << c.upper;
        EXPECT_EQ(gDataConcatenatedLenght, static_cast<int32_t>(c.index + 5)) << std::hex << c.upper;
    }
}

TEST_F(ImageAssembly, OtherRecordTypesAreCheckedButPlaceNothing) {
    // Segment address, start segment and start linear address records, and data after
    // the end-of-file record, which does not end the text.
    const Assembly a = assemble(lines({data(0x0000, {0x01}), record(0x02, 0, {0x10, 0x00}), data(0x0001, {0x02}),
                                       record(0x03, 0, {0, 0, 0, 0}), record(0x05, 0, {0x80, 0, 0x81, 0xC1}),
                                       kEndOfFile, data(0x0002, {0x03}), data(0x0003, {})}));
    ASSERT_TRUE(a.ok) << visible(a.output);
    EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{0, 1}, {1, 2}, {2, 3}}));
    EXPECT_EQ(gDataConcatenatedLenght, 3);
}

TEST_F(ImageAssembly, EmptyDataRecordSetsTheLengthToItsStart) {
    const Assembly a = assemble(lines({data(0x0000, {1, 2, 3, 4, 5, 6}), data(0x0006, {}), kEndOfFile}));
    ASSERT_TRUE(a.ok) << visible(a.output);
    EXPECT_EQ(gDataConcatenatedLenght, 6);
    EXPECT_EQ(checksum(), static_cast<uint32_t>(0u - 21u));
}

TEST_F(ImageAssembly, EveryLineEndStyleGivesTheSameImage) {
    const std::vector<std::string> records = {extendedLinear(0x0001), data(0x0100, {0xDE, 0xAD, 0xBE, 0xEF}),
                                              data(0x0104, {0x0b, 0xad}), data(0x0106, {0xFF}), kEndOfFile};
    const std::string texts[] = {
        lines(records, "\r\n"),
        lines(records, "\n"),
        lines(records, "\r"),
        lines(records, ""),
        lines(records, "\n\r"),
        lines(records, "\r\n\r\n\r\n"),
        lines(records, "\r\n; a line without start code\r\n"),
    };
    std::map<uint32_t, int> firstImage;
    for (const std::string& text : texts) {
        const Assembly a = assemble(text);
        ASSERT_TRUE(a.ok) << visible(text) << visible(a.output);
        EXPECT_EQ(gDataConcatenatedLenght, 0x10106) << visible(text);
        if (firstImage.empty()) firstImage = writtenBytes();
        EXPECT_EQ(writtenBytes(), firstImage) << visible(text);
    }
    EXPECT_EQ(firstImage.size(), 6u);
    EXPECT_EQ(firstImage[0x10104], 0x0B);
}

TEST_F(ImageAssembly, InvalidRecordStopsTheAssemblyWithItsDiagnosticAndKeepsWhatCameBefore) {
    std::string fifth = data(0x0040, {0x55, 0x66});
    fifth.back() = fifth.back() == '0' ? '1' : '0';  // its checksum no longer matches
    const Assembly a = assemble(lines({data(0x0000, {0x11}), data(0x0010, {0x22}), extendedLinear(0x0001),
                                       data(0x0020, {0x33}), fifth, data(0x0050, {0x77}), kEndOfFile}));
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.output, invalidRecordOutput(fifth)) << visible(a.output);
    EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{0x0, 0x11}, {0x10, 0x22}, {0x10020, 0x33}}));
    EXPECT_EQ(gDataConcatenatedLenght, 0x10020);
}

TEST_F(ImageAssembly, DiagnosticShowsTheLineAsItWasCut) {
    const struct {
        std::string text;
        std::string cutLine;
    } cases[] = {
        {":0000000001\r\nrest of the line\r\n", ":0000000001"},
        {"\r\n" + lines({kEndOfFile}), ":"},  // a bare line end before the first start code
        {"garbage" + lines({kEndOfFile}), ":garbage"},
        {":00000001FF :0000000000", ":00000001FF "},
    };
    for (const auto& c : cases) {
        const Assembly a = assemble(c.text);
        EXPECT_FALSE(a.ok) << visible(c.text);
        EXPECT_EQ(a.output, invalidRecordOutput(c.cutLine)) << visible(a.output);
    }
}

TEST_F(ImageAssembly, NoTextGivesNoTokenListAndItsOwnMessage) {
    ASSERT_TRUE(assemble(lines({data(0x0000, {1}), data(0x0001, {})})).ok);
    StdoutCapture capture;
    EXPECT_FALSE(ValidateFwAndConcatenateData(nullptr));
    EXPECT_EQ(capture.finish(), "\r\nNUL extractedHexLine \r\n");
    EXPECT_TRUE(writtenBytes().empty());
    EXPECT_EQ(gDataConcatenatedLenght, 0);
}

TEST_F(ImageAssembly, UsedCopyHoldsOnlyItsFirstRecord) {
    char* copy = newCopyOfEmbeddedText(IMAGE_INDEX_MCU);
    ASSERT_NE(copy, nullptr);
    StdoutCapture capture;
    EXPECT_TRUE(ValidateFwAndConcatenateData(copy));
    EXPECT_EQ(gDataConcatenatedLenght, 117648);
    EXPECT_TRUE(ValidateFwAndConcatenateData(copy)) << "its first record is an extended linear address record";
    EXPECT_EQ(gDataConcatenatedLenght, 0);
    EXPECT_EQ(capture.finish(), "");
    free(copy);
}

TEST_F(ImageAssembly, EachEmbeddedTextAssemblesToTheLengthOfTheReleasedSet) {
    const int32_t lengths[] = {117648, 1102544, 1118736};
    for (int index = 0; index < AUTOGEN_FILES_COUNT; ++index) {
        char* copy = newCopyOfEmbeddedText(index);
        ASSERT_NE(copy, nullptr);
        const Assembly a = {ValidateFwAndConcatenateData(copy), ""};
        free(copy);
        EXPECT_TRUE(a.ok) << AUTOGEN_FILES[index].filePath;
        EXPECT_EQ(gDataConcatenatedLenght, lengths[index]) << AUTOGEN_FILES[index].filePath;
        EXPECT_TRUE(spareBytesAreZero());
    }
}

TEST_F(ImageAssembly, ChecksumIsZeroMinusTheByteSumInThirtyTwoBits) {
    EXPECT_EQ(imageChecksum(gDataConcatenated, 0), 0u);
    EXPECT_EQ(imageChecksum(gDataConcatenated, CONCAT_BUFFER_SIZE), 0u - 4194304u * 255u);
    const uint8_t bytes[] = {0x01, 0x02, 0xFF};
    EXPECT_EQ(imageChecksum(bytes, 3), 0u - 258u);
    EXPECT_EQ(imageChecksum(bytes, 2), 0xFFFFFFFDu);
}

// A token longer than the line buffer (98 characters after the start code) is refused,
// not cut: the line shown is what the buffer holds of it, cut at its first line end.
TEST_F(ImageAssembly, TokenLongerThanTheLineBufferIsAnInvalidRecord) {
    std::vector<int> fortyFour(44, 0x5A);
    const std::string longest = data(0x0000, fortyFour);  // 98 characters after ':'
    ASSERT_EQ(longest.size(), 99u);
    EXPECT_TRUE(assemble(longest).ok);
    EXPECT_TRUE(assemble(lines({data(0x0000, std::vector<int>(43, 0x5A))}) + longest).ok);

    const std::string tooLong = longest + "\n";
    Assembly a = assemble(tooLong);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.output, invalidRecordOutput(longest)) << visible(a.output);

    const std::string record45 = data(0x0000, std::vector<int>(45, 0x5A));
    a = assemble(lines({data(0x0000, {1}), data(0x0001, {})}) + record45 + "\r\n" + kEndOfFile);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.output, invalidRecordOutput(record45.substr(0, 99))) << visible(a.output);
    EXPECT_EQ(gDataConcatenatedLenght, 1);

    // Blank lines count towards the token too: ten characters of record and 89 line ends.
    a = assemble(lines({kEndOfFile}, std::string(89, '\n')) + kEndOfFile);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.output, invalidRecordOutput(kEndOfFile)) << visible(a.output);
    EXPECT_TRUE(assemble(lines({kEndOfFile}, std::string(88, '\n')) + kEndOfFile).ok);
}

TEST_F(ImageAssembly, ExtendedLinearAddressRecordWithoutItsTwoBytesIsAnInvalidRecord) {
    for (const std::string& shortRecord : {record(0x04, 0, {}), record(0x04, 0, {0x01})}) {
        const Assembly a = assemble(lines({data(0x0000, {1}), shortRecord, data(0x0001, {})}));
        EXPECT_FALSE(a.ok) << shortRecord;
        EXPECT_EQ(a.output, invalidRecordOutput(shortRecord)) << visible(a.output);
        EXPECT_EQ(gDataConcatenatedLenght, 0);
    }
    EXPECT_TRUE(assemble(lines({record(0x04, 0, {0x00, 0x01, 0x02}), data(0, {1})})).ok) << "more bytes are read past";
}

TEST_F(ImageAssembly, DataThatWouldLandOutsideTheImageIsAnInvalidRecord) {
    const struct {
        int upper;
        int address;
        int count;
        bool fits;
    } cases[] = {
        {0x003F, 0xFFF0, 16, true},   // its last byte is the image's last
        {0x003F, 0xFFF1, 16, false},  // one byte beyond
        {0x0040, 0x0000, 1, false},
        {0x00FF, 0xFFFF, 1, false},   // the highest index the address fields can give
        {0x0040, 0x0000, 0, true},    // no byte lands: the length is the whole image
        {0x0040, 0x0001, 0, false},   // the length would reach past the image
    };
    for (const auto& c : cases) {
        const std::string outside = data(c.address, std::vector<int>(static_cast<size_t>(c.count), 0x42));
        const Assembly a = assemble(lines({data(0, {7}), extendedLinear(c.upper), outside}));
        EXPECT_EQ(a.ok, c.fits ? TRUE : FALSE) << outside;
        EXPECT_TRUE(spareBytesAreZero()) << outside;
        if (c.fits) {
            EXPECT_EQ(a.output, "");
            EXPECT_EQ(gDataConcatenatedLenght, (c.upper << 16) + c.address) << outside;
        } else {
            EXPECT_EQ(a.output, invalidRecordOutput(outside)) << visible(a.output);
            EXPECT_EQ(gDataConcatenatedLenght, 0) << outside;
            EXPECT_EQ(writtenBytes(), (std::map<uint32_t, int>{{0, 7}})) << outside;
        }
    }
}
