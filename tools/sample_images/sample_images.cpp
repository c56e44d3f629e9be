// Writes the synthetic sample image set: three Intel HEX files with exactly the record
// layout of the 1.0.6 set (record kinds and counts, upper addresses, the gap in the
// microcontroller image, CR LF line ends, upper-case digits, file sizes). Only the data
// bytes are made up, from a fixed seed, so every build gets the same files.
//
// Such images are for the tests and the demo; they must never reach a real unit.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: sample_images OUT_DIR\n"
    "Writes T284619_MCU_6G-SDI_61_1_06.hex, T284619_TX_XC7A35_1_06.mcs and\n"
    "T284619_RX_XC7A35_1_06.mcs (synthetic data, real layout) into OUT_DIR.\n";

class HexWriter {
public:
    void record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
        uint8_t sum = 0;
        char field[3];
        text_ += ':';
        auto put = [&](uint8_t byte) {
            std::snprintf(field, sizeof field, "%02X", byte);
            text_ += field;
            sum = static_cast<uint8_t>(sum + byte);
        };
        put(static_cast<uint8_t>(data.size()));
        put(static_cast<uint8_t>(address >> 8));
        put(static_cast<uint8_t>(address & 0xFF));
        put(type);
        for (uint8_t byte : data) put(byte);
        std::snprintf(field, sizeof field, "%02X", static_cast<uint8_t>(0x100 - sum));
        text_ += field;
        text_ += "\r\n";
    }

    void extendedLinearAddress(uint16_t upper) {
        record(0x04, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)});
    }

    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// xorshift32: small, fast, and the same on every machine.
class Bytes {
public:
    explicit Bytes(uint32_t seed) : state_(seed) {}
    std::vector<uint8_t> next(size_t count) {
        std::vector<uint8_t> out(count);
        for (auto& byte : out) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 17;
            state_ ^= state_ << 5;
            byte = static_cast<uint8_t>(state_ >> 24);
        }
        return out;
    }

private:
    uint32_t state_;
};

// Data records of 16 bytes over [from, to) of the image, with an extended linear
// address record before the first record of every 64 KiB page. upperHigh is the high
// byte of the upper address (0x80 for the microcontroller's 0x8000xxxx range).
void dataRun(HexWriter& hex, Bytes& bytes, uint32_t from, uint32_t to, uint16_t upperHigh,
             int& currentPage) {
    for (uint32_t address = from; address < to; address += 16) {
        const int page = static_cast<int>(address >> 16);
        if (page != currentPage) {
            hex.extendedLinearAddress(static_cast<uint16_t>((upperHigh << 8) | page));
            currentPage = page;
        }
        hex.record(0x00, static_cast<uint16_t>(address & 0xFFFF), bytes.next(16));
    }
}

std::string microcontrollerImage() {
    HexWriter hex;
    Bytes bytes(0x4D435531u);
    int page = -1;
    dataRun(hex, bytes, 0x8000, 0x19E70, 0x80, page);
    hex.record(0x00, 0x9E70, bytes.next(8));  // the short record before the gap
    dataRun(hex, bytes, 0x1A000, 0x1CB90, 0x80, page);
    hex.record(0x00, 0xCB90, std::vector<uint8_t>(4, 0xFF));  // filler, never sent
    hex.record(0x05, 0, {0x80, 0x00, 0x81, 0xC1});
    hex.record(0x01, 0, {});
    return hex.text();
}

std::string fpgaImage(uint32_t seed, uint32_t end) {
    HexWriter hex;
    Bytes bytes(seed);
    int page = -1;
    dataRun(hex, bytes, 0, end - 16, 0x00, page);
    hex.record(0x00, static_cast<uint16_t>((end - 16) & 0xFFFF), std::vector<uint8_t>(16, 0xFF));
    hex.record(0x01, 0, {});
    return hex.text();
}

bool writeFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "sample_images: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "sample_images: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    const std::string dir = argv[1];
    const bool ok = writeFile(dir + "/T284619_MCU_6G-SDI_61_1_06.hex", microcontrollerImage()) &&
                    writeFile(dir + "/T284619_TX_XC7A35_1_06.mcs", fpgaImage(0x54583031u, 0x10D2E0)) &&
                    writeFile(dir + "/T284619_RX_XC7A35_1_06.mcs", fpgaImage(0x52583031u, 0x111220));
    return ok ? 0 : 1;
}
