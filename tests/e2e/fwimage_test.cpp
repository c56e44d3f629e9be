// The fwimage program: what it prints and writes, its exit statuses, that it gives what
// the tool itself computes for the same text, and the build's verdict on it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "KestraneFwUpgrade.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "firmware/BinImage.h"

namespace {

struct ProgramRun {
    int status;
    std::string output;
    std::string errors;
};

// Runs fwimage; with a file size limit of fileSizeLimitKiB, when given, under which a
// larger write fails (the signal of an exceeded limit is ignored, as a write error is seen).
ProgramRun fwimage(const std::vector<std::string>& arguments, int fileSizeLimitKiB = 0) {
    std::vector<std::string> argv = {binPath("fwimage")};
    if (fileSizeLimitKiB > 0) {
        const std::string limit = "trap '' XFSZ; ulimit -f " + std::to_string(fileSizeLimitKiB) + "; exec \"$0\" \"$@\"";
        argv.insert(argv.begin(), {"/bin/sh", "-c", limit});
    }
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    TerminalProcess program(argv, {{}, false, ""});
    if (!program.waitForExit(30000)) {
        program.kill();
        return {-1, program.output(), program.errors()};
    }
    return {program.exitStatus(), program.output(), program.errors()};
}

std::string fixture(const char* name) { return std::string(KESTRANE_FIXTURE_DIR) + "/images/" + name; }
std::string sampleFile(int index) {
    return std::string(KESTRANE_SAMPLE_IMAGE_DIR) + "/" + AUTOGEN_FILES[index].filePath;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string summary(long records, long length, unsigned long checksum) {
    std::ostringstream text;
    text << "records: " << records << "\nlength: " << length << "\nchecksum: " << checksum << "\n";
    return text.str();
}

class Fwimage : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrane-fwimage-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + dir_ + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
    }
    std::string path(const char* name) const { return dir_ + "/" + name; }

    std::string dir_;
};

}  // namespace

TEST_F(Fwimage, AnnouncesLengthAndChecksumAndWritesTheImageUpToTheLength) {
    const std::string out = path("image.bin");
    const ProgramRun run = fwimage({fixture("upper_address_8001.hex"), "-o", out});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, summary(4, 65568, 4278248466ul));
    EXPECT_EQ(run.errors, "");
    std::string expected(65568, '\xFF');
    for (int i = 0; i < 4; ++i) expected[0x10010 + i] = static_cast<char>(i + 1);
    EXPECT_EQ(contentsOf(out), expected);
}

TEST_F(Fwimage, InvalidTextGetsTheAssemblysDiagnosticAndTheBuildsVerdictAndNoImage) {
    const std::string out = path("image.bin");
    const ProgramRun run = fwimage({"-o", out, fixture("invalid_fifth_record.hex")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "\r\n intel_hex_line_is_valid \r\n:040040005566778803\r\n") << visible(run.output);
    EXPECT_EQ(run.errors, fixture("invalid_fifth_record.hex") + ":5: checksum does not match\n");
    EXPECT_FALSE(exists(out));
}

// The tool takes its text as a string and would silently lose what follows a NUL byte:
// there is no assembly to show, only the build's refusal.
TEST_F(Fwimage, NulByteInTheFileIsRefusedWithItsLine) {
    const std::string text = contentsOf(fixture("upper_address_8001.hex"));
    // Not "nul.hex": on Windows that name is the null device.
    writeFile(path("with-nul.hex"), text.substr(0, 17) + std::string(1, '\0') + text.substr(17));
    const ProgramRun run = fwimage({path("with-nul.hex"), "-o", path("image.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, path("with-nul.hex") + ":2: NUL byte in the text\n");
    EXPECT_FALSE(exists(path("image.bin")));
}

// The assembly takes an empty text or a lone segment address record as an empty image,
// but the build refuses both: the summary is shown, the verdict is the build's.
TEST_F(Fwimage, TextsTheAssemblyTakesButTheBuildRefusesAreRefused) {
    const struct {
        const char* text;
        const char* records;
        const char* verdict;
    } cases[] = {
        {"", "0", ":1: the text does not begin with a record\n"},
        {":020000020000FC\n", "1", ":1: segment address record: only extended linear addressing is supported\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(path("s.hex"), c.text);
        const ProgramRun run = fwimage({path("s.hex"), "-o", path("image.bin")});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, std::string("records: ") + c.records + "\nlength: 0\nchecksum: 0\n");
        EXPECT_EQ(run.errors, path("s.hex") + c.verdict);
        EXPECT_FALSE(exists(path("image.bin")));
    }
}

// One check for both: every fixture of the image generator and of the assembly gets the
// same verdict from fwimage as from the build, to the byte of the message.
TEST_F(Fwimage, RefusesExactlyWhatTheBuildRefusesWithTheSameMessage) {
    const std::string fixtures = KESTRANE_FIXTURE_DIR;
    std::vector<std::string> files;
    for (const char* folder : {"/embed", "/images"})
        for (const auto& entry : std::filesystem::directory_iterator(fixtures + folder))
            files.push_back(entry.path().string());
    ASSERT_GE(files.size(), 20u);
    int refused = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string outDir = path("generated");
        std::filesystem::create_directory(outDir);
        // The file in the TX slot, behind a good microcontroller text.
        TerminalProcess build({binPath("embed_images"), outDir, fixtures + "/embed/small-mcu.hex", file,
                               fixtures + "/embed/small-rx.v1.mcs"},
                              {{}, false, ""});
        ASSERT_TRUE(build.waitForExit(30000));
        std::filesystem::remove_all(outDir);
        const ProgramRun run = fwimage({file});
        EXPECT_EQ(run.status, build.exitStatus()) << run.errors;
        EXPECT_EQ(run.errors, build.errors());
        if (build.exitStatus() != 0) ++refused;
    }
    EXPECT_GE(refused, 16) << "the build's failing fixtures are among the files";
}

TEST_F(Fwimage, UsageAndFileErrorsGetAMessageAndStatusTwo) {
    const std::string good = fixture("upper_address_8001.hex");
    mkdir(path("directory").c_str(), 0700);
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{}, "no FILE given"},
        {{good, "-o"}, "-o needs a file name"},
        {{good, "--verbose"}, "unknown option --verbose"},
        {{good, good}, "more than one FILE"},
        {{good, "-o", path("a"), "-o", path("b")}, "-o given twice"},
        {{path("missing.hex")}, "cannot open"},
        // Windows refuses to open a directory as a file at all.
        {{path("directory")}, testsWindowsPrograms() ? "cannot open" : "cannot read"},
        {{good, "-o", path("directory")}, "cannot create"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = fwimage(c.arguments);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << c.message << ": " << run.errors;
    }
    EXPECT_FALSE(exists(path("a")));
}

TEST_F(Fwimage, ImageThatCannotBeWrittenWholeIsRemovedWithStatusTwo) {
    SKIP_UNDER_WINE("a file-size limit (ulimit -f) stops Wine's own server before the program's write");
    const std::string out = path("image.bin");
    const ProgramRun run = fwimage({fixture("upper_address_8001.hex"), "-o", out}, 16);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("cannot write " + out), std::string::npos) << run.errors;
    EXPECT_FALSE(exists(out));
}

TEST_F(Fwimage, HelpExplainsTheProgram) {
    const ProgramRun run = fwimage({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.rfind("Usage: fwimage FILE [-o OUT]\n", 0), 0u) << run.output;
    for (const char* word : {"records:", "length:", "checksum:", "-o OUT", "Exit status"})
        EXPECT_NE(run.output.find(word), std::string::npos) << word;
}

// The sample files are the texts this build embeds: the program must give for each what
// the tool's own assembly of its embedded copy gives.
TEST_F(Fwimage, SampleFilesGiveWhatTheToolComputesForItsEmbeddedCopies) {
    if (!AUTOGEN_IS_SAMPLE_SET) GTEST_SKIP() << "built with real image files: no sample files";
    const long records[] = {5286, 68928, 69941};
    const long lengths[] = {117648, 1102544, 1118736};
    ASSERT_TRUE(allocateSharedBuffers());
    for (int index = 0; index < AUTOGEN_FILES_COUNT; ++index) {
        char* copy = newCopyOfEmbeddedText(index);
        ASSERT_NE(copy, nullptr);
        ASSERT_TRUE(ValidateFwAndConcatenateData(copy));
        free(copy);
        const std::string image(reinterpret_cast<const char*>(gDataConcatenated),
                                static_cast<size_t>(gDataConcatenatedLenght));
        const ProgramRun run = fwimage({sampleFile(index), "-o", path("image.bin")});
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.output, summary(records[index], lengths[index],
                                      imageChecksum(gDataConcatenated, gDataConcatenatedLenght)))
            << sampleFile(index);
        EXPECT_TRUE(contentsOf(path("image.bin")) == image) << sampleFile(index);
    }
    releaseSharedBuffers();
}

// GNU binutils reads Intel HEX its own way: the TX text, whose addresses start at 0 and
// have no gaps, must come out the same up to the length.
TEST_F(Fwimage, TxSampleImageMatchesObjcopysUpToTheLength) {
    if (!AUTOGEN_IS_SAMPLE_SET) GTEST_SKIP() << "built with real image files: no sample files";
    if (system("command -v objcopy >/dev/null 2>&1") != 0) GTEST_SKIP() << "objcopy (GNU binutils) is not installed";
    const std::string input = sampleFile(IMAGE_INDEX_TX_FPGA);
    const std::string theirs = path("objcopy.bin");
    const std::string command = "objcopy -I ihex -O binary '" + input + "' '" + theirs + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    const ProgramRun run = fwimage({input, "-o", path("image.bin")});
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string ours = contentsOf(path("image.bin"));
    ASSERT_EQ(ours.size(), 1102544u);
    EXPECT_TRUE(contentsOf(theirs).compare(0, ours.size(), ours) == 0);
}
