// The web firmware package as a browser would receive it: the header, the Base64 body in
// its lines, what the console shows, and what a failed run leaves behind.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "KestraneFwUpgrade.h"
#include "HexRecord.h"
#include "StdoutCapture.h"
#include "TempDir.h"

namespace {

const char* const kPackage = "FwToUpload.bin";
const std::string kPrompt = "\r\nPress any key to exit";
const std::string kOpenFailed = "ERROR: File does not exists\n";
const std::string kNotOpened = "ERROR: File does not exists or Not opened !\n";

// ---- Intel HEX texts whose image is a known run of bytes ----

uint8_t imageByte(int32_t index) { return static_cast<uint8_t>(index * 37 + 11); }

std::string record(int type, int address, const std::vector<int>& data) {
    return hexRecord(type, address, data) + "\r\n";
}

// Data records for image bytes 0 to length - 1, then the filler record at `length` that
// only marks where the image ends, then the end-of-file record.
std::string hexTextOfImage(int32_t length) {
    std::string text;
    uint32_t upper = 0;
    auto selectUpper = [&](uint32_t address) {
        if ((address >> 16) == upper) return;
        upper = address >> 16;
        text += record(4, 0, {static_cast<int>(upper >> 8) & 0xFF, static_cast<int>(upper & 0xFF)});
    };
    for (int32_t address = 0; address < length; address += 16) {
        std::vector<int> data;
        for (int32_t i = address; i < length && i < address + 16; ++i) data.push_back(imageByte(i));
        selectUpper(static_cast<uint32_t>(address));
        text += record(0, static_cast<int>(address), data);
    }
    selectUpper(static_cast<uint32_t>(length));
    text += record(0, static_cast<int>(length), {0xFF});
    return text + ":00000001FF\r\n";
}

// ---- reading a package back ----

std::vector<uint8_t> decodeBase64(const std::string& text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 4 <= text.size(); i += 4) {
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int v = value(text[i + k]);
            if (v < 0) ADD_FAILURE() << "not a Base64 character at " << i + k;
            group = group << 6 | static_cast<uint32_t>(v & 0x3F);
        }
        bytes.insert(bytes.end(), {static_cast<uint8_t>(group >> 16), static_cast<uint8_t>(group >> 8),
                                   static_cast<uint8_t>(group)});
    }
    return bytes;
}

struct Package {
    std::vector<std::string> header;  // the five header lines, without their line ends
    std::vector<std::string> lines;   // the body lines, without their line ends
    std::string body;                 // the body lines joined
};

Package readPackage(const std::string& file) {
    Package p;
    size_t at = 0;
    for (int i = 0; i < 5; ++i) {
        const size_t end = file.find("\r\n", at);
        if (end == std::string::npos) break;
        p.header.push_back(file.substr(at, end - at));
        at = end + 2;
    }
    // Split what follows the header at every line end; a line end at the very end of the
    // file would show as an empty last line.
    while (at < file.size()) {
        const size_t end = file.find("\r\n", at);
        const size_t stop = end == std::string::npos ? file.size() : end;
        p.lines.push_back(file.substr(at, stop - at));
        p.body += p.lines.back();
        if (end == std::string::npos) break;
        at = end + 2;
        if (at == file.size()) p.lines.push_back("");
    }
    return p;
}

uint32_t checksumOf(const std::vector<uint8_t>& bytes) {
    uint32_t checksum = 0;
    for (uint8_t b : bytes) checksum -= b;
    return checksum;
}

std::string expectedTranscript(uint32_t checksum, int32_t length) {
    char text[256];
    snprintf(text, sizeof text,
             "\r\n Firmware data is valid !\r\n"
             "\r\n Firmware CheckSum = %u !\r\n"
             "\r\n Firmware CheckSum u = %u !\r\n"
             "\r\n Firmware data length = %d !\r\n",
             checksum, checksum, length);
    return text + kPrompt;
}

class WebPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedDir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        // The key wait must not block the test: with no terminal on standard input it
        // returns at once.
        savedStdin_ = dup(STDIN_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        close(devNull);
        ASSERT_EQ(allocateSharedBuffers(), TRUE);
    }
    void TearDown() override {
        releaseSharedBuffers();
        dup2(savedStdin_, STDIN_FILENO);
        close(savedStdin_);
        std::filesystem::current_path(savedDir_);
    }
    static void useText(const std::string& text) {
        free(gHexFirmware);
        gHexFirmware = static_cast<char*>(calloc(text.size() + SPARE_BYTES, 1));
        memcpy(gHexFirmware, text.data(), text.size());
    }
    static BOOL run(std::string* transcript) {
        StdoutCapture out;
        const BOOL result = createFirmwareFileForWeb();
        *transcript = out.finish();
        return result;
    }
    static void writeFile(const char* name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }

    TempDir dir_{"kestrane-webpkg"};
    std::filesystem::path savedDir_;
    int savedStdin_ = -1;
};

void expectBodyLines(const Package& p, size_t textLength) {
    ASSERT_EQ(p.body.size(), textLength);
    const size_t fullLines = textLength == 0 ? 0 : (textLength - 1) / FIRMWARE_CHUNCK_SIZE_FOR_WEB;
    ASSERT_EQ(p.lines.size(), textLength == 0 ? 0 : fullLines + 1);
    for (size_t i = 0; i < fullLines; ++i) EXPECT_EQ(p.lines[i].size(), 928U) << "line " << i;
    if (textLength > 0) {
        EXPECT_EQ(p.lines.back().size(), textLength - fullLines * 928);
    }
    EXPECT_EQ(p.body.find('='), std::string::npos);
}

}  // namespace

TEST_F(WebPackageTest, TheSampleMicrocontrollerImageBecomesHeaderAnd170Lines) {
    std::string transcript;
    ASSERT_EQ(run(&transcript), TRUE) << visible(transcript);
    ASSERT_EQ(gDataConcatenatedLenght, 117648);
    const std::vector<uint8_t> image(gDataConcatenated, gDataConcatenated + 117648);
    const uint32_t checksum = checksumOf(image);
    EXPECT_EQ(gDataConcatenatedCheckSum, checksum);
    EXPECT_EQ(transcript, expectedTranscript(checksum, 117648));

    const std::string file = fileContents(kPackage);
    const std::string header = "TavRix\r\n284619\r\n1.0.6\r\n" + std::to_string(checksum) + "\r\n117648\r\n";
    ASSERT_EQ(file.compare(0, header.size(), header), 0) << visible(file.substr(0, 64));
    const Package p = readPackage(file);
    expectBodyLines(p, 156864);
    EXPECT_EQ(p.lines.size(), 170U);
    EXPECT_EQ(p.lines.back().size(), 32U);
    EXPECT_EQ(file.size(), header.size() + 156864 + 169 * 2);
    EXPECT_EQ(decodeBase64(p.body), image);
    // The first 32 KiB of the image are unwritten flash.
    EXPECT_EQ(p.body.substr(0, 8), "////////");
}

TEST_F(WebPackageTest, BodiesOfEveryLengthAreCutIntoLinesAndCarryNoPad) {
    const struct {
        int32_t length;
        size_t textLength;
        const char* ending;  // the last characters that the pad became, if any
    } cases[] = {{0, 0, ""},        {1, 4, "AA"},        {2, 4, "A"},          {3, 4, ""},
                 {696, 928, ""},    {697, 932, "AA"},    {1392, 1856, ""},     {1393, 1860, "AA"},
                 {1394, 1860, "A"}, {460797, 614396, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE("image of " + std::to_string(c.length) + " bytes");
        useText(hexTextOfImage(c.length));
        std::string transcript;
        ASSERT_EQ(run(&transcript), TRUE) << visible(transcript);
        std::vector<uint8_t> image;
        for (int32_t i = 0; i < c.length; ++i) image.push_back(imageByte(i));
        EXPECT_EQ(transcript, expectedTranscript(checksumOf(image), c.length));

        const Package p = readPackage(fileContents(kPackage));
        ASSERT_EQ(p.header.size(), 5U);
        EXPECT_EQ(p.header[3], std::to_string(checksumOf(image)));
        EXPECT_EQ(p.header[4], std::to_string(c.length));
        expectBodyLines(p, c.textLength);
        const std::string ending = c.ending;
        if (!ending.empty()) {
            EXPECT_EQ(p.body.compare(p.body.size() - ending.size(), ending.size(), ending), 0) << p.lines.back();
        }
        // The pad decodes to zero bytes behind the image; the header keeps the true length.
        std::vector<uint8_t> decoded = decodeBase64(p.body);
        ASSERT_GE(decoded.size(), image.size());
        EXPECT_TRUE(std::equal(image.begin(), image.end(), decoded.begin()));
        for (size_t i = image.size(); i < decoded.size(); ++i) EXPECT_EQ(decoded[i], 0) << i;
    }
}

TEST_F(WebPackageTest, ASecondRunReplacesTheFirstPackage) {
    std::string transcript;
    ASSERT_EQ(run(&transcript), TRUE);
    const std::string first = fileContents(kPackage);
    free(gHexFirmware);
    gHexFirmware = newCopyOfEmbeddedText(IMAGE_INDEX_MCU);
    ASSERT_EQ(run(&transcript), TRUE);
    EXPECT_EQ(fileContents(kPackage), first);
    EXPECT_EQ(first.find("TavRix", 1), std::string::npos);
}

TEST_F(WebPackageTest, AnImageThatCannotBePackagedLeavesTheEarlierPackageAsItWas) {
    std::string invalid = hexTextOfImage(64);
    invalid[invalid.find("\r\n") - 1] ^= 1;  // a wrong checksum in the first record
    const struct {
        const char* what;
        std::string text;
        std::string lastLine;
    } cases[] = {{"text not valid", invalid, "\r\nERROR: Firmware data is not valid !\r\n"},
                 {"image too long for the Base64 buffer", hexTextOfImage(460798), "\r\n ERROR BASE 64 !\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(kPackage, "the earlier package");
        useText(c.text);
        std::string transcript;
        EXPECT_EQ(run(&transcript), FALSE);
        ASSERT_GE(transcript.size(), c.lastLine.size());
        EXPECT_EQ(transcript.substr(transcript.size() - c.lastLine.size()), c.lastLine) << visible(transcript);
        EXPECT_EQ(transcript.find("Press any key"), std::string::npos);
        EXPECT_EQ(fileContents(kPackage), "the earlier package");
    }
}

TEST_F(WebPackageTest, APackageThatCannotBeCreatedIsReportedAsNotWritten) {
    // A directory of the package's name cannot be opened as a file: every file step says so.
    std::filesystem::create_directory(kPackage);
    useText(hexTextOfImage(697));  // a body of two writes
    std::string transcript;
    EXPECT_EQ(run(&transcript), FALSE);
    const std::string fileSteps = kOpenFailed + kNotOpened + kNotOpened + kOpenFailed + kNotOpened + kNotOpened + kNotOpened;
    const std::string expected = expectedTranscript(gDataConcatenatedCheckSum, 697);
    EXPECT_EQ(transcript, expected.substr(0, expected.size() - kPrompt.size()) + fileSteps + kPrompt)
        << visible(transcript);
}

TEST_F(WebPackageTest, APackageThatCannotBeWrittenIsReportedAsNotWritten) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    std::filesystem::create_symlink("/dev/full", kPackage);
    std::string transcript;
    EXPECT_EQ(run(&transcript), FALSE);
    EXPECT_NE(transcript.find("ERROR: File could not be written !\n"), std::string::npos) << visible(transcript);
    EXPECT_EQ(transcript.substr(transcript.size() - kPrompt.size()), kPrompt);
}
