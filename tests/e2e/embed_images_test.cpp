// The build-time generators: embed_images refuses every text the tool could not use, with
// the file, the line and the reason; it turns a good set into the firmware module; and
// sample_images writes the same set on every run.
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "TerminalProcess.h"
#include "TestPaths.h"

namespace {

const std::string kFixtures = std::string(KESTRANE_FIXTURE_DIR) + "/embed/";

std::string readFile(const std::string& path) {
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return "<missing " + path + ">";
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    fclose(file);
    return bytes;
}

std::vector<std::string> entriesOf(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/kestrane-embed-XXXXXX";
        if (!mkdtemp(templ)) abort();
        path_ = templ;
    }
    ~TempDir() {
        const std::string command = "rm -rf '" + path_ + "'";
        if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

ProgramRun run(const std::vector<std::string>& argv) {
    TerminalProcess program(argv, {{}, false, ""});
    if (!program.waitForExit(60000)) program.kill();
    return {program.exitStatus(), program.output(), program.errors()};
}

// The characters of the C string literals that follow `const char name[] =` up to ';'.
std::string literalContents(const std::string& source, const std::string& name) {
    const std::string head = "const char " + name + "[] =";
    size_t pos = source.find(head);
    if (pos == std::string::npos) return "<no array " + name + ">";
    pos += head.size();
    std::string text;
    bool inLiteral = false;
    for (; pos < source.size(); ++pos) {
        const char c = source[pos];
        if (!inLiteral) {
            if (c == ';') return text;
            if (c == '"') inLiteral = true;
            continue;
        }
        if (c == '"') {
            inLiteral = false;
        } else if (c != '\\') {
            text += c;
        } else {
            const char e = source[++pos];
            switch (e) {
            case 'r': text += '\r'; break;
            case 'n': text += '\n'; break;
            case '"': case '\\': case '?': case '\'': text += e; break;
            default:
                if (e >= '0' && e <= '7') {
                    int value = 0;
                    for (int digits = 0; digits < 3 && source[pos] >= '0' && source[pos] <= '7'; ++digits)
                        value = value * 8 + (source[pos++] - '0');
                    --pos;
                    text += static_cast<char>(value);
                } else {
                    return "<unknown escape \\" + std::string(1, e) + ">";
                }
            }
        }
    }
    return "<unterminated " + name + ">";
}

TEST(EmbedImages, EachFaultStopsTheBuildWithFileLineAndReason) {
    const struct {
        const char* fixture;
        int line;
        const char* reason;
    } cases[] = {
        {"bad_checksum.hex", 2, "checksum does not match"},
        {"nul_byte.hex", 3, "NUL byte in the text"},
        {"long_record.hex", 2, "more than 98 characters up to the next ':'"},
        {"segment_02.hex", 2, "segment address record: only extended linear addressing is supported"},
        {"segment_03.hex", 3, "segment address record: only extended linear addressing is supported"},
        {"ela_length.hex", 1, "extended linear address record without exactly two data bytes"},
        {"ela_address.hex", 2, "extended linear address record with an address field other than 0000"},
        {"beyond_4mib.hex", 4, "data beyond the 4 MiB image"},  // straddles the end by 2 bytes
        {"beyond_page.hex", 2, "data beyond the 4 MiB image"},  // upper address 0x8040: page 0x40
        {"non_hex.hex", 2, "character that is not a hexadecimal digit"},
        {"text_outside.hex", 3, "text outside a record"},
        {"no_record_first.hex", 1, "the text does not begin with a record"},
        {"empty.hex", 1, "the text does not begin with a record"},
        {"length_mismatch.hex", 2, "data length field does not match the record's length"},
        {"odd_length.hex", 2, "record too short or of odd length"},
        {"unknown_type.hex", 2, "unknown record type"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        TempDir out;
        const std::string bad = kFixtures + c.fixture;
        const ProgramRun result =
            run({binPath("embed_images"), out.path(), kFixtures + "small-mcu.hex", bad, kFixtures + "small-rx.v1.mcs"});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, bad + ":" + std::to_string(c.line) + ": " + c.reason + "\n");
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(entriesOf(out.path()).empty()) << "nothing is generated from a faulty set";
    }
}

TEST(EmbedImages, MissingImageFileIsNamed) {
    TempDir out;
    const std::string missing = kFixtures + "no-such-file.mcs";
    const ProgramRun result =
        run({binPath("embed_images"), out.path(), kFixtures + "small-mcu.hex", kFixtures + "small_tx.mcs", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, missing + ": cannot open: No such file or directory\n");
    EXPECT_TRUE(entriesOf(out.path()).empty());
    EXPECT_EQ(run({binPath("embed_images"), out.path()}).status, 2);  // usage
}

TEST(EmbedImages, GoodSetBecomesTheFirmwareModule) {
    // small-mcu.hex holds a record of exactly 98 characters up to the next ':', and
    // small_tx.mcs one whose last byte is the last of the 4 MiB image: both are allowed.
    TempDir out;
    const ProgramRun result = run({binPath("embed_images"), out.path(), kFixtures + "small-mcu.hex",
                            kFixtures + "small_tx.mcs", kFixtures + "small-rx.v1.mcs"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");

    const std::string header = readFile(out.path() + "/BinImage.h");
    const std::string source = readFile(out.path() + "/BinImage.cpp");
    EXPECT_NE(header.find("#ifndef _AUTOGEN_BINIMAGE_H_\n#define _AUTOGEN_BINIMAGE_H_\n"), std::string::npos);
    EXPECT_NE(header.find("#define AUTOGEN_IS_SAMPLE_SET 0\n"), std::string::npos);
    EXPECT_NE(header.find("    char filePath[70];\n    signed char filePathLength;\n    const char* fileData;\n"
                          "    int32_t fileDataLength;\n} autogen_files;\n"),
              std::string::npos)
        << header;
    EXPECT_NE(header.find("extern const autogen_files AUTOGEN_FILES[AUTOGEN_FILES_COUNT];"), std::string::npos);

    const struct {
        const char* file;
        const char* array;
    } files[] = {
        {"small-mcu.hex", "small_mcu_hex"},
        {"small_tx.mcs", "small_tx_mcs"},
        {"small-rx.v1.mcs", "small_rx_v1_mcs"},
    };
    std::string table = "const autogen_files AUTOGEN_FILES[AUTOGEN_FILES_COUNT] = {\n";
    for (const auto& f : files) {
        SCOPED_TRACE(f.file);
        const std::string text = readFile(kFixtures + f.file);
        EXPECT_NE(header.find("extern const char " + std::string(f.array) + "[];\n"), std::string::npos);
        EXPECT_TRUE(literalContents(source, f.array) == text) << literalContents(source, f.array);
        table += "    {\"" + std::string(f.file) + "\", " + std::to_string(std::string(f.file).size()) + ", " + f.array +
                 ", " + std::to_string(text.size()) + "},\n";
    }
    table += "};\n";
    EXPECT_NE(source.find(table), std::string::npos) << source.substr(source.find("const autogen_files"));
}

TEST(EmbedImages, SampleMarkGoesIntoTheHeader) {
    TempDir out;
    const ProgramRun result = run({binPath("embed_images"), "--sample", out.path(), kFixtures + "small-mcu.hex",
                            kFixtures + "small_tx.mcs", kFixtures + "small-rx.v1.mcs"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(readFile(out.path() + "/BinImage.h").find("#define AUTOGEN_IS_SAMPLE_SET 1\n"), std::string::npos);
}

TEST(SampleImages, EveryRunWritesTheSameSetWithTheReleasedFileSizes) {
    TempDir first;
    TempDir second;
    ASSERT_EQ(run({binPath("sample_images"), first.path()}).status, 0);
    ASSERT_EQ(run({binPath("sample_images"), second.path()}).status, 0);
    const struct {
        const char* name;
        size_t size;
    } files[] = {
        {"T284619_MCU_6G-SDI_61_1_06.hex", 237718},
        {"T284619_TX_XC7A35_1_06.mcs", 3101252},
        {"T284619_RX_XC7A35_1_06.mcs", 3146809},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string text = readFile(first.path() + "/" + f.name);
        EXPECT_EQ(text.size(), f.size);
        EXPECT_TRUE(text == readFile(second.path() + "/" + f.name));
        const std::string built = readFile(std::string(KESTRANE_SAMPLE_IMAGE_DIR) + "/" + f.name);
        if (built.compare(0, 9, "<missing ") != 0) {
            EXPECT_TRUE(text == built) << "the build's set is the same";
        }
    }
    // The generator accepts what the sample generator writes.
    TempDir out;
    const ProgramRun embedded = run({binPath("embed_images"), "--sample", out.path(), first.path() + "/" + files[0].name,
                              first.path() + "/" + files[1].name, first.path() + "/" + files[2].name});
    EXPECT_EQ(embedded.status, 0) << embedded.err;
}

}  // namespace
