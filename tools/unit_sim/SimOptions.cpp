#include "SimOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "EscapedText.h"
#include "UnitTexts.h"

namespace {

struct FaultName {
    const char* name;
    bool Faults::*flag;
    const char* meaning;
};

const FaultName kFaultNames[] = {
    {"silent", &Faults::silent, "never answers anything"},
    {"second-probe-only", &Faults::secondProbeOnly, "ignores every odd-numbered probe at its rate"},
    {"echo", &Faults::echo, "echoes each command before its answer"},
    {"wrong-product", &Faults::wrongProduct, "product text without its final \">>\""},
    {"no-ready", &Faults::noReady, "no answer to \"fw -l\""},
    {"no-ready-h", &Faults::noReadyH, "no answer to \"fw -h\""},
    {"ready-crlf", &Faults::readyCrLf, "\"Ready\\r\\n\" instead of \"Ready\""},
    {"fail-l", &Faults::failL, "FAILURE after the \"fw -l\" image, whatever came"},
    {"fail-h", &Faults::failH, "FAILURE after the \"fw -h\" image, whatever came"},
    {"hangup-l", &Faults::hangupL, "hangs up after half of the \"fw -l\" image"},
    {"hangup-h", &Faults::hangupH, "hangs up after half of the \"fw -h\" image"},
    {"hangup-after-probe", &Faults::hangupAfterProbe, "hangs up once the first answered probe is read"},
    {"hangup-identify", &Faults::hangupIdentify, "hangs up on \"fw -v\" instead of answering"},
    {"no-prompt", &Faults::noPrompt, "no banner and no prompt after the reboot"},
    {"flood-probe", &Faults::floodProbe, "never falls silent after answering the probe"},
    {"flood-identify", &Faults::floodIdentify, "never falls silent after \"fw -v\" and \"fw -p\""},
    {"flood-upload", &Faults::floodUpload, "never falls silent after \"Ready\" and an image's final reply"},
    {"flood-success", &Faults::floodSuccess, "never falls silent after an image's final reply"},
    {"binary-replies", &Faults::binaryReplies, "zero bytes and bytes of 0x80 and above around every text"},
    {"garbage-wrong-rate", &Faults::garbageWrongRate, "answers bytes at a wrong line speed with garbage"},
    {"trickle", &Faults::trickle, "sends every text one byte at a time, --gap-ms apart"},
};

bool parseNumber(const char* text, long low, long high, long& value) {
    if (!text || !*text) return false;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return false;
    }
    errno = 0;
    char* end = nullptr;
    value = strtol(text, &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool setFault(const std::string& name, Faults& faults) {
    for (const FaultName& fault : kFaultNames) {
        if (name == fault.name) {
            faults.*(fault.flag) = true;
            return true;
        }
    }
    return false;
}

}  // namespace

void printUsage(FILE* to) {
    fputs("usage: unit-sim --dir DIR [--port N] [--rate R] [--variant tx|rx] [--version TEXT]\n"
          "                [--product TEXT] [--prompt TEXT] [--fault NAME]... [--gap-ms N]\n"
          "                [--time-divisor N] [--pace] [--log FILE] [--save DIR] [--help]\n"
          "\n"
          "Plays one TX or RX unit of the extender on a pseudo-terminal linked as DIR/COM<N>,\n"
          "so that the upgrade tool can run against it: COM_PORT_DIR=DIR KestraneFwUpgrade.\n"
          "When ready it prints one line: unit-sim: COM<N> <device> <TX|RX> <rate>.\n"
          "It ends on SIGTERM, SIGINT or SIGHUP (or a hang-up fault) and removes its link.\n"
          "\n"
          "  --dir DIR           port directory (must exist) that receives the link COM<N>\n"
          "  --port N            port number, 1 to 999 (default 3)\n"
          "  --rate R            the unit's own baud rate (default 9600); it hears and answers\n"
          "                      only what arrives while the line is set to the rate it expects:\n"
          "                      its own rate, and 115200 from an upload's \"Ready\" to the reboot\n"
          "  --variant tx|rx     which product it says it is (default tx)\n"
          "  --version TEXT      answer to \"fw -v\", followed by \\r\\n>> (default \"1.0.6 XC7A35 1.6 1\")\n"
          "  --product TEXT      answer to \"fw -p\", verbatim (default the variant's product text)\n"
          "  --prompt TEXT       prompt after the reboot (default \"[TX]>>\" or \"[RX]>>\")\n"
          "                      TEXT may hold the escapes \\r \\n \\\\ \\xHH\n"
          "  --fault NAME        misbehave, repeatable; NAME is one of:\n",
          to);
    for (const FaultName& fault : kFaultNames) fprintf(to, "      %-20s %s\n", fault.name, fault.meaning);
    fputs("  --gap-ms N          gap between bytes of the trickle fault, in ms (default 10)\n"
          "  --time-divisor N    divide the unit's own waits (reboot, flood, upload abandon)\n"
          "                      by N, to match the test-time build of the tool (default 1)\n"
          "  --pace              real line pace, 8N1: line speed / 10 bytes a second both ways;\n"
          "                      the tool's writes are held as CTS flow control would hold them\n"
          "                      (use it with the tool's real times, not the test-time build)\n"
          "  --log FILE          one line per event: <ms> recv|send|noise|image|state ...\n"
          "  --save DIR          keep fpga.bin, mcu.bin and announced.txt of each upload there\n"
          "  --help              this text\n",
          to);
}

bool parseOptions(int argc, char** argv, SimOptions& options, std::string& error) {
    bool productGiven = false;
    bool promptGiven = false;
    bool versionGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return true;
        }
        if (name == "--pace") {
            options.pace = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unexpected argument " + name;
            return false;
        }
        const char* value = argv[++i];
        long number = 0;
        std::string decodeError;
        if (name == "--dir") {
            options.dir = value;
        } else if (name == "--port") {
            if (!parseNumber(value, 1, 999, number)) {
                error = std::string("--port takes 1 to 999, not ") + value;
                return false;
            }
            options.port = static_cast<int>(number);
        } else if (name == "--rate") {
            if (!parseNumber(value, 1, 4000000, number)) {
                error = std::string("--rate takes a baud rate from 1 to 4000000, not ") + value;
                return false;
            }
            options.rate = static_cast<uint32_t>(number);
        } else if (name == "--variant") {
            if (strcmp(value, "tx") != 0 && strcmp(value, "rx") != 0) {
                error = std::string("--variant takes tx or rx, not ") + value;
                return false;
            }
            options.rx = strcmp(value, "rx") == 0;
        } else if (name == "--version" || name == "--product" || name == "--prompt") {
            std::string& target = name == "--version" ? options.version
                                  : name == "--product" ? options.product
                                                        : options.prompt;
            if (!decodeEscapes(value, target, decodeError)) {
                error = name + ": " + decodeError;
                return false;
            }
            (name == "--version" ? versionGiven : name == "--product" ? productGiven : promptGiven) = true;
        } else if (name == "--fault") {
            if (!setFault(value, options.faults)) {
                error = std::string("unknown fault ") + value + " (see --help)";
                return false;
            }
        } else if (name == "--gap-ms") {
            if (!parseNumber(value, 0, 10000, number)) {
                error = std::string("--gap-ms takes 0 to 10000, not ") + value;
                return false;
            }
            options.gapMs = static_cast<int>(number);
        } else if (name == "--time-divisor") {
            if (!parseNumber(value, 1, 100000, number)) {
                error = std::string("--time-divisor takes 1 to 100000, not ") + value;
                return false;
            }
            options.timeDivisor = static_cast<int>(number);
        } else if (name == "--log") {
            options.logPath = value;
        } else if (name == "--save") {
            options.saveDir = value;
        } else {
            error = "unknown option " + name + " (see --help)";
            return false;
        }
    }
    if (options.dir.empty()) {
        error = "--dir DIR is required (see --help)";
        return false;
    }
    if (!versionGiven) options.version = texts::kDefaultVersion;
    if (!productGiven) options.product = options.rx ? texts::kRxProduct : texts::kTxProduct;
    if (!promptGiven) options.prompt = options.rx ? texts::kRxPrompt : texts::kTxPrompt;
    return true;
}
