// The one held file: its states, its modes and the lines it prints when a step fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FileAPI.h"
#include "StdoutCapture.h"
#include "TempDir.h"

namespace {

const std::string kOpenFailed = "ERROR: File does not exists\n";
const std::string kNotOpened = "ERROR: File does not exists or Not opened !\n";
const std::string kWriteFailed = "ERROR: File could not be written !\n";

class FileApiTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return dir_.file(name); }
    static std::string contents(const std::string& file) { return fileContents(file); }
    static void put(const std::string& file, const std::string& text) {
        std::ofstream(file, std::ios::binary) << text;
    }

    TempDir dir_{"kestrane-fileapi"};
};

const uint8_t kBytes[] = {'a', '\r', '\n', 'b', '\n', 0x00, 0xFF, 0x1A};

}  // namespace

TEST_F(FileApiTest, WritesAndClosesBeforeAnyOpenAreRefusedWithTheNotOpenedLine) {
    StdoutCapture out;
    EXPECT_EQ(FileAPI_writeToFile("text"), FALSE);
    EXPECT_EQ(FileAPI_writeToFileBinary(kBytes, sizeof kBytes), FALSE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(out.finish(), kNotOpened + kNotOpened + kNotOpened);
}

TEST_F(FileApiTest, AFailedOpenLeavesNoFileHeldAndTheEarlierFileKeepsItsBytes) {
    const std::string earlier = path("earlier.txt");
    ASSERT_EQ(FileAPI_CreateFile(earlier.c_str(), TRUE), TRUE);
    ASSERT_EQ(FileAPI_writeToFile("kept"), TRUE);

    const std::string missing = path("no-such-dir/file.bin");
    const struct {
        const char* name;
        BOOL (*open)(const char*, BOOL);
    } opens[] = {{"create", FileAPI_CreateFile},
                 {"append", FileAPI_OpenFile_ToWrite},
                 {"read", FileAPI_OpenFile_ToRead}};
    for (const auto& o : opens) {
        StdoutCapture out;
        EXPECT_EQ(o.open(missing.c_str(), TRUE), FALSE) << o.name;
        EXPECT_EQ(FileAPI_LastErrorNumber(), ENOENT) << o.name;
        EXPECT_EQ(FileAPI_writeToFileBinary(kBytes, 1), FALSE) << o.name;
        EXPECT_EQ(FileAPI_CloseFile(), FALSE) << o.name;
        EXPECT_EQ(out.finish(), kOpenFailed + kNotOpened + kNotOpened) << o.name;
    }
    EXPECT_EQ(contents(earlier), "kept");
}

TEST_F(FileApiTest, ReadingAMissingFileFailsAndAnExistingOneOpens) {
    StdoutCapture out;
    EXPECT_EQ(FileAPI_OpenFile_ToRead(path("missing").c_str(), FALSE), FALSE);
    put(path("present"), "x");
    EXPECT_EQ(FileAPI_OpenFile_ToRead(path("present").c_str(), TRUE), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(out.finish(), kOpenFailed);
}

TEST_F(FileApiTest, EveryModeValuePassesLineEndsAndBinaryBytesUnchanged) {
    // This platform's text mode translates nothing: 0, 1 and 2 all keep every byte.
    for (const BOOL isBinary : {0, 1, 2}) {
        const std::string file = path("mode.bin");
        StdoutCapture out;
        ASSERT_EQ(FileAPI_CreateFile(file.c_str(), isBinary), TRUE);
        EXPECT_EQ(FileAPI_writeToFileBinary(kBytes, sizeof kBytes), TRUE);
        EXPECT_EQ(FileAPI_CloseFile(), TRUE);
        ASSERT_EQ(FileAPI_OpenFile_ToWrite(file.c_str(), isBinary), TRUE);
        EXPECT_EQ(FileAPI_writeToFile("\r\n"), TRUE);
        EXPECT_EQ(FileAPI_CloseFile(), TRUE);
        EXPECT_EQ(out.finish(), "");
        EXPECT_EQ(contents(file), std::string(reinterpret_cast<const char*>(kBytes), sizeof kBytes) + "\r\n")
            << "isBinary " << isBinary;
    }
}

TEST_F(FileApiTest, CreateTruncatesAndAppendCreatesOrAddsAtTheEnd) {
    const std::string file = path("package.bin");
    put(file, "an earlier, longer content");
    ASSERT_EQ(FileAPI_CreateFile(file.c_str(), TRUE), TRUE);
    EXPECT_EQ(FileAPI_writeToFileBinary(kBytes, 0), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(contents(file), "");

    const std::string fresh = path("fresh.bin");
    ASSERT_EQ(FileAPI_OpenFile_ToWrite(fresh.c_str(), TRUE), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(access(fresh.c_str(), F_OK), 0);
    EXPECT_EQ(contents(fresh), "");

    put(file, "head");
    ASSERT_EQ(FileAPI_OpenFile_ToWrite(file.c_str(), TRUE), TRUE);
    EXPECT_EQ(FileAPI_writeToFile("tail"), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    EXPECT_EQ(contents(file), "headtail");
}

TEST_F(FileApiTest, TextIsWrittenLiterallyWithEachDoublePercentAsOne) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {{"%%%help -c version", "%%help -c version"},
                 {"100%% done", "100% done"},
                 {"%d %s %n %x", "%d %s %n %x"},
                 {"ends in %", "ends in %"},
                 {"%%%%", "%%"},
                 {"", ""}};
    for (const auto& c : cases) {
        const std::string file = path("text.txt");
        ASSERT_EQ(FileAPI_CreateFile(file.c_str(), FALSE), TRUE);
        EXPECT_EQ(FileAPI_writeToFile(c.in), TRUE) << c.in;
        EXPECT_EQ(FileAPI_CloseFile(), TRUE);
        EXPECT_EQ(contents(file), c.out) << c.in;
    }
}

TEST_F(FileApiTest, AfterACloseTheFileIsNoLongerHeld) {
    ASSERT_EQ(FileAPI_CreateFile(path("closed.bin").c_str(), TRUE), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), TRUE);
    StdoutCapture out;
    EXPECT_EQ(FileAPI_writeToFileBinary(kBytes, 1), FALSE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(out.finish(), kNotOpened + kNotOpened);
    EXPECT_EQ(contents(path("closed.bin")), "");
}

TEST_F(FileApiTest, AWriteThatDoesNotReachTheFileIsReportedAsFailed) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    // A small write sits in the stream's buffer: the full device refuses it at the close.
    StdoutCapture small;
    ASSERT_EQ(FileAPI_CreateFile("/dev/full", TRUE), TRUE);
    EXPECT_EQ(FileAPI_writeToFileBinary(kBytes, sizeof kBytes), TRUE);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(FileAPI_LastErrorNumber(), ENOSPC);
    EXPECT_EQ(FileAPI_CloseFile(), FALSE);
    EXPECT_EQ(FileAPI_LastErrorNumber(), ENOSPC) << "a close with no file held has no system reason";
    EXPECT_EQ(small.finish(), kWriteFailed + kNotOpened);

    // A write larger than any stream buffer is refused at once.
    const std::vector<uint8_t> large(1 << 20, 'x');
    StdoutCapture big;
    ASSERT_EQ(FileAPI_OpenFile_ToWrite("/dev/full", TRUE), TRUE);
    EXPECT_EQ(FileAPI_writeToFileBinary(large.data(), static_cast<uint32_t>(large.size())), FALSE);
    EXPECT_EQ(FileAPI_LastErrorNumber(), ENOSPC);
    FileAPI_CloseFile();
    EXPECT_EQ(big.finish().rfind(kWriteFailed, 0), 0U);
}
