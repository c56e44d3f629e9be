// Turns the three image files of the build into firmware/BinImage.h and BinImage.cpp.
//
// Every text is checked first, against what the tool relies on when it assembles an
// image: well-formed records with correct checksums, no NUL byte, at most 98 characters
// from one ':' to the next, addresses above 64 KiB by extended linear address records
// only, and every data byte inside the 4 MiB image. The first fault stops the build with
// the file, the line number and the reason.
//
// The arrays are emitted as string literals, one source line per record: the compiler
// reads those far faster than a list of numbers.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: embed_images [--sample] OUT_DIR MCU_FILE TX_FPGA_FILE RX_FPGA_FILE\n"
    "Checks the three Intel HEX image files and writes OUT_DIR/BinImage.h and\n"
    "OUT_DIR/BinImage.cpp holding them, in this table order. --sample marks the set\n"
    "as the synthetic one (tests and demo only).\n";

const uint32_t kImageSize = 4u * 1024u * 1024u;  // the tool's flat image
const size_t kMaxToken = 98;                      // characters from one ':' to the next

struct Fault {
    size_t line = 0;
    std::string reason;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isLineEnd(char c) { return c == '\r' || c == '\n'; }

// Checks one record: the characters of a line from its ':' up to its line end.
bool checkRecord(const std::string& record, uint32_t& upper, Fault& fault) {
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

bool checkText(const std::string& text, Fault& fault) {
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        fault.line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + static_cast<long>(nul), '\n'));
        fault.reason = "NUL byte in the text";
        return false;
    }
    if (text.empty() || text[0] != ':') {
        fault.line = 1;
        fault.reason = "the text does not begin with a record";
        return false;
    }
    uint32_t upper = 0;
    size_t line = 1;
    size_t pos = 0;
    while (pos < text.size()) {
        fault.line = line;
        size_t next = text.find(':', pos + 1);
        if (next == std::string::npos) next = text.size();
        if (next - pos - 1 > kMaxToken) {
            fault.reason = "more than 98 characters up to the next ':'";
            return false;
        }
        size_t end = pos;
        while (end < next && !isLineEnd(text[end])) ++end;
        if (!checkRecord(text.substr(pos, end - pos), upper, fault)) return false;
        // Between a record's line end and the next ':' only line ends may stand.
        for (size_t i = end; i < next; ++i) {
            if (!isLineEnd(text[i])) {
                fault.line = line;
                fault.reason = "text outside a record";
                return false;
            }
            if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) ++line;
        }
        pos = next;
    }
    return true;
}

bool readFile(const std::string& path, std::string& text) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        std::fprintf(stderr, "%s: cannot open: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    if (!ok) std::fprintf(stderr, "%s: read error\n", path.c_str());
    return ok;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string arrayName(const std::string& fileName) {
    std::string name = fileName;
    for (char& c : name)
        if (c == '.' || c == '-') c = '_';
    return name;
}

void appendLiteral(std::string& out, const std::string& text) {
    out += "    \"";
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r') out += "\\r";
        else if (c == '\n') {
            out += "\\n\"\n";
            if (i + 1 < text.size()) out += "    \"";
            continue;
        } else if (c == '"' || c == '\\' || c == '?') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[6];
            std::snprintf(escape, sizeof escape, "\\%03o", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.empty() || text.back() != '\n') out += "\"\n";
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "embed_images: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "embed_images: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    bool sample = false;
    if (!args.empty() && args[0] == "--sample") {
        sample = true;
        args.erase(args.begin());
    }
    if (args.size() != 4) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string outDir = args[0];

    std::string header =
        "// Generated by embed_images from the image files of the build. Do not edit.\n"
        "#ifndef _AUTOGEN_BINIMAGE_H_\n"
        "#define _AUTOGEN_BINIMAGE_H_\n\n"
        "#include <cstdint>\n\n";
    header += sample ? "// The synthetic sample set: for tests and the demo only.\n#define AUTOGEN_IS_SAMPLE_SET 1\n\n"
                     : "#define AUTOGEN_IS_SAMPLE_SET 0\n\n";
    header +=
        "typedef struct {\n"
        "    char filePath[70];\n"
        "    signed char filePathLength;\n"
        "    const char* fileData;\n"
        "    int32_t fileDataLength;\n"
        "} autogen_files;\n\n";
    std::string source =
        "// Generated by embed_images from the image files of the build. Do not edit.\n"
        "#include \"BinImage.h\"\n\n";
    std::string table = "const autogen_files AUTOGEN_FILES[AUTOGEN_FILES_COUNT] = {\n";

    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& path = args[i];
        const std::string name = baseName(path);
        if (name.size() >= 70) {
            std::fprintf(stderr, "%s: file name longer than 69 characters\n", path.c_str());
            return 1;
        }
        std::string text;
        if (!readFile(path, text)) return 1;
        if (text.size() > 0x7FFFFFF0u) {
            std::fprintf(stderr, "%s: file too large\n", path.c_str());
            return 1;
        }
        Fault fault;
        if (!checkText(text, fault)) {
            std::fprintf(stderr, "%s:%zu: %s\n", path.c_str(), fault.line, fault.reason.c_str());
            return 1;
        }
        const std::string array = arrayName(name);
        header += "extern const char " + array + "[];\n";
        source += "const char " + array + "[] =\n";
        appendLiteral(source, text);
        source += ";\nstatic_assert(sizeof " + array + " == " + std::to_string(text.size()) + " + 1, \"" + array +
                  "\");\n\n";
        table += "    {\"" + name + "\", " + std::to_string(name.size()) + ", " + array + ", " +
                 std::to_string(text.size()) + "},\n";
    }
    table += "};\n";
    header += "\n#define AUTOGEN_FILES_COUNT 3\nextern const autogen_files AUTOGEN_FILES[AUTOGEN_FILES_COUNT];\n\n#endif\n";
    source += table;

    return writeFile(outDir + "/BinImage.h", header) && writeFile(outDir + "/BinImage.cpp", source) ? 0 : 1;
}
