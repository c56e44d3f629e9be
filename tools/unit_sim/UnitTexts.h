// What a unit says. The tool compares most of these byte for byte, so they are the unit's
// own texts, line ends and prompt included.
#ifndef UNIT_SIM_UNIT_TEXTS_H
#define UNIT_SIM_UNIT_TEXTS_H

#include <cstdint>

namespace texts {

// Answer to "help -c version": 74 characters, LF before CR after the first word.
constexpr char kVersionHelp[] = "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";
constexpr char kDefaultVersion[] = "1.0.6 XC7A35 1.6 1";
constexpr char kReplyEnd[] = "\r\n>>";
constexpr char kTxProduct[] = "Tavrix 6G SDI EXTENDER OVER FIBER TX\r\n>>";
constexpr char kRxProduct[] = "Tavrix 6G SDI EXTENDER OVER FIBER RX\r\n>>";
constexpr char kTxPrompt[] = "[TX]>>";
constexpr char kRxPrompt[] = "[RX]>>";
constexpr char kReady[] = "Ready";
constexpr char kReadyCrLf[] = "Ready\r\n";
constexpr char kSuccess[] = "SUCCESS";
constexpr char kFailure[] = "FAILURE";
constexpr char kBootBanner[] = "\r\nKestrane 6G SDI boot 1.0.6\r\n";

// What a UART set to the wrong rate makes of a command, more or less.
constexpr char kLineNoise[] = "\xf8\x80\x00\xfe\x1c";
constexpr uint8_t kFloodByte = 'x';

constexpr char kProbeCommand[] = "help -c version";
constexpr char kVersionCommand[] = "fw -v";
constexpr char kProductCommand[] = "fw -p";
constexpr char kFpgaUploadCommand[] = "fw -l";
constexpr char kMcuUploadCommand[] = "fw -h";

}  // namespace texts

// Timing of a unit, in milliseconds of real time (the time divisor shortens them).
namespace timing {

constexpr int64_t kUploadRateBaud = 115200;
// The boot banner must land in the tool's countdown, not in its read of the SUCCESS reply.
constexpr int64_t kBannerAfterSuccessMs = 10000;
// The tool reads once for 1 s after SUCCESS, pauses 46 x 3 s, reads 1 s, then reads 11 s
// and tests what that last read got: the prompt lands in the middle of it.
constexpr int64_t kPromptAfterSuccessMs = 1000 + 138000 + 1000 + 5500;
// An upload that gets no byte for this long is abandoned (the tool waits two read
// time-outs of 10 s after "Ready" before its first byte).
constexpr int64_t kImageSilenceLimitMs = 60000;
constexpr int64_t kFloodLimitMs = 30000;

}  // namespace timing

#endif
