#include "Unit.h"

#include <algorithm>
#include <cstdlib>

#include "EscapedText.h"
#include "UnitTexts.h"

namespace {

// A line longer than this is no command of the unit; its bytes are dropped, not kept.
const size_t kMaxCommandBytes = 4096;
// Far above any image of the extender; keeps a wild announcement from taking all memory.
const uint32_t kMaxImageLength = 64u << 20;
// hangup-after-probe waits until the tool has read the answer: a hang-up throws away what
// the tool has not read yet, and the fault is meant to strike after the unit was found.
// hangup-identify waits as long after hearing the command: the tool's write of it returns
// only once its output has drained, and the fault is meant to strike after that write.
const int64_t kHangupSettleUs = 20000;
const int64_t kHangupCheckUs = 5000;
const int64_t kHangupLongestWaitUs = 2000000;

bool parseDecimal(const std::string& text, uint64_t limit, uint32_t& value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > limit) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

// " <checksum> <length>", exactly.
bool parseAnnouncement(const std::string& arguments, uint32_t& checksum, uint32_t& length) {
    if (arguments.size() < 4 || arguments[0] != ' ') return false;
    const size_t space = arguments.find(' ', 1);
    if (space == std::string::npos) return false;
    return parseDecimal(arguments.substr(1, space - 1), UINT32_MAX, checksum) &&
           parseDecimal(arguments.substr(space + 1), kMaxImageLength, length);
}

// What the tool gets when the unit talks at another rate than the line is set to.
std::string garbled(const std::string& text) {
    std::string noise = text;
    for (char& c : noise) c = static_cast<char>(static_cast<unsigned char>(c) ^ 0xAA);
    return noise;
}

std::string withBinaryAround(const std::string& text) {
    return std::string("\x00\xff", 2) + text + std::string("\x80\x00", 2);
}

}  // namespace

void Unit::start() { log_.write("state", "idle at " + std::to_string(options_.rate)); }

uint32_t Unit::expectedSpeed() const {
    return mode_ == Mode::Uploading || mode_ == Mode::Image ? timing::kUploadRateBaud : options_.rate;
}

void Unit::enter(Mode mode, const std::string& why) {
    mode_ = mode;
    log_.write("state", why);
}

void Unit::hear(const std::string& bytes, uint32_t speed, int64_t now) {
    size_t index = 0;
    while (index < bytes.size() && !gone_) {
        if (mode_ == Mode::Rebooting || speed != expectedSpeed()) {
            log_.write("noise", std::to_string(speed) + " " + std::to_string(bytes.size() - index));
            if (!pendingLine_.empty() || overlongBytes_ > 0) log_.write("state", "dropped a partial line");
            pendingLine_.clear();
            overlongBytes_ = 0;
            skipCarriageReturn_ = false;
            if (faults_.garbageWrongRate && mode_ != Mode::Rebooting) {
                say(std::string(texts::kLineNoise, sizeof texts::kLineNoise - 1), speed);
            }
            return;
        }
        if (mode_ == Mode::Image) index += takeImageBytes(bytes, index, speed, now);
        else takeCommandByte(bytes, index, speed, now);
    }
}

void Unit::takeCommandByte(const std::string& bytes, size_t& index, uint32_t speed, int64_t now) {
    const char c = bytes[index++];
    if (skipCarriageReturn_) {
        skipCarriageReturn_ = false;
        if (c == '\r') return;
    }
    if (c == '\n') {
        // The tool ends a command with LF CR; the CR is part of it, not the next command.
        std::string raw = pendingLine_ + '\n';
        if (index < bytes.size()) {
            if (bytes[index] == '\r') {
                raw += '\r';
                ++index;
            }
        } else {
            skipCarriageReturn_ = true;
        }
        pendingLine_.clear();
        if (overlongBytes_ > 0) {
            log_.write("state", "discarded an overlong line of " + std::to_string(overlongBytes_) + " bytes");
            overlongBytes_ = 0;
            return;
        }
        handleLine(raw, speed, now);
        return;
    }
    if (overlongBytes_ > 0) {
        ++overlongBytes_;
    } else if (pendingLine_.size() >= kMaxCommandBytes) {
        overlongBytes_ = pendingLine_.size() + 1;
        pendingLine_.clear();
    } else {
        pendingLine_ += c;
    }
}

void Unit::handleLine(const std::string& raw, uint32_t speed, int64_t now) {
    log_.write("recv", std::to_string(speed) + " " + escapeForLog(raw));
    lastRaw_ = raw;
    std::string command = raw.substr(0, raw.find('\n'));
    while (!command.empty() && command.back() == '\r') command.pop_back();
    command.erase(0, command.find_first_not_of('%') == std::string::npos ? command.size()
                                                                         : command.find_first_not_of('%'));
    if (faults_.silent) {
        log_.write("state", "no answer (silent)");
        return;
    }
    if (command == texts::kProbeCommand) {
        ++probesHeard_;
        if (faults_.secondProbeOnly && probesHeard_ % 2 == 1) {
            log_.write("state", "no answer to probe " + std::to_string(probesHeard_) + " (second-probe-only)");
            return;
        }
        answer(texts::kVersionHelp, speed);
        if (faults_.floodProbe) out_.startFlood(now, scaledUs(timing::kFloodLimitMs));
        if (faults_.hangupAfterProbe && hangupArmedAtUs_ == kNever) armHangUp(now, "after the first answered probe");
        return;
    }
    if (command == texts::kVersionCommand) {
        if (faults_.hangupIdentify) {
            if (hangupArmedAtUs_ == kNever) armHangUp(now, "on fw -v");
            return;
        }
        answer(options_.version + texts::kReplyEnd, speed);
        if (faults_.floodIdentify) out_.startFlood(now, scaledUs(timing::kFloodLimitMs));
        return;
    }
    if (command == texts::kProductCommand) {
        std::string product = options_.product;
        if (faults_.wrongProduct && product.size() >= 2 && product.compare(product.size() - 2, 2, ">>") == 0) {
            product.resize(product.size() - 2);
        }
        answer(product, speed);
        if (faults_.floodIdentify) out_.startFlood(now, scaledUs(timing::kFloodLimitMs));
        return;
    }
    for (const char kind : {'l', 'h'}) {
        const std::string head = kind == 'l' ? texts::kFpgaUploadCommand : texts::kMcuUploadCommand;
        if (command.compare(0, head.size(), head) == 0 && (command.size() == head.size() || command[head.size()] == ' ')) {
            handleUpload(kind, command.substr(head.size()), speed, now);
            return;
        }
    }
    log_.write("state", "unknown command, no answer");
}

void Unit::handleUpload(char kind, const std::string& arguments, uint32_t speed, int64_t now) {
    uint32_t checksum = 0;
    uint32_t length = 0;
    if (!parseAnnouncement(arguments, checksum, length)) {
        log_.write("state", "malformed upload command, no Ready");
        return;
    }
    if ((kind == 'l' && faults_.noReady) || (kind == 'h' && faults_.noReadyH)) {
        log_.write("state", "no Ready (fault)");
        return;
    }
    answer(faults_.readyCrLf ? texts::kReadyCrLf : texts::kReady, speed);
    if (faults_.floodUpload) out_.startFlood(now, scaledUs(timing::kFloodLimitMs));
    imageKind_ = kind;
    announcedChecksum_ = checksum;
    announcedLength_ = length;
    imageCount_ = 0;
    imageSum_ = 0;
    imageFirstSpeed_ = 0;
    imageBytes_.clear();
    if (recorder_.enabled()) imageBytes_.reserve(length);
    imageQuietSinceUs_ = now;
    input_.expectImage(length, timing::kUploadRateBaud);
    enter(Mode::Image, std::string("upload ") + kind + ": expecting " + std::to_string(length) + " bytes at " +
                           std::to_string(timing::kUploadRateBaud));
    if (length == 0) finishImage(now, nullptr);
}

size_t Unit::takeImageBytes(const std::string& bytes, size_t from, uint32_t speed, int64_t now) {
    const bool hangsUp = (imageKind_ == 'l' && faults_.hangupL) || (imageKind_ == 'h' && faults_.hangupH);
    const uint32_t stopAt = hangsUp ? announcedLength_ / 2 : announcedLength_;
    const size_t take = std::min<size_t>(stopAt - imageCount_, bytes.size() - from);
    if (imageFirstSpeed_ == 0) imageFirstSpeed_ = speed;
    for (size_t i = from; i < from + take; ++i) imageSum_ += static_cast<unsigned char>(bytes[i]);
    if (recorder_.enabled()) imageBytes_.append(bytes, from, take);
    imageCount_ += static_cast<uint32_t>(take);
    imageQuietSinceUs_ = now;
    if (hangsUp && imageCount_ >= stopAt) {
        const uint32_t received = 0u - imageSum_;
        log_.write("image", std::string(1, imageKind_) + " " + std::to_string(imageFirstSpeed_) + " " +
                                std::to_string(imageCount_) + " " + std::to_string(received) + " HANGUP");
        recorder_.record(imageKind_, announcedChecksum_, announcedLength_, imageBytes_, imageCount_, received,
                         "HANGUP");
        hangUp(std::string("in the middle of image ") + imageKind_);
        return bytes.size() - from;
    }
    if (imageCount_ == announcedLength_) finishImage(now, nullptr);
    return take;
}

void Unit::finishImage(int64_t now, const char* abandonedWhy) {
    const uint32_t received = 0u - imageSum_;
    const bool forcedFailure = (imageKind_ == 'l' && faults_.failL) || (imageKind_ == 'h' && faults_.failH);
    const bool success = !abandonedWhy && !forcedFailure && imageCount_ == announcedLength_ &&
                         received == announcedChecksum_;
    const char* verdict = success ? texts::kSuccess : texts::kFailure;
    log_.write("image", std::string(1, imageKind_) + " " + std::to_string(imageFirstSpeed_) + " " +
                            std::to_string(imageCount_) + " " + std::to_string(received) + " " + verdict);
    recorder_.record(imageKind_, announcedChecksum_, announcedLength_, imageBytes_, imageCount_, received, verdict);
    imageBytes_.clear();
    imageBytes_.shrink_to_fit();
    if (abandonedWhy) {
        enter(Mode::Idle, std::string(abandonedWhy) + "; idle at " + std::to_string(options_.rate));
        return;
    }
    // An empty image has nothing to confirm: the tool reads no reply after sending nothing.
    if (announcedLength_ > 0) {
        say(verdict, timing::kUploadRateBaud);
        if (faults_.floodUpload || faults_.floodSuccess) out_.startFlood(now, scaledUs(timing::kFloodLimitMs));
    }
    if (!success) {
        enter(Mode::Idle, "idle at " + std::to_string(options_.rate));
    } else if (imageKind_ == 'l') {
        enter(Mode::Uploading, "between uploads at " + std::to_string(timing::kUploadRateBaud));
    } else {
        enter(Mode::Rebooting, "reboot");
        bannerAtUs_ = now + scaledUs(timing::kBannerAfterSuccessMs);
        promptAtUs_ = now + scaledUs(timing::kPromptAfterSuccessMs);
    }
}

void Unit::onTime(int64_t now) {
    if (gone_) return;
    if (mode_ == Mode::Image && now - imageQuietSinceUs_ >= scaledUs(timing::kImageSilenceLimitMs)) {
        finishImage(now, "upload abandoned, no image byte for a while");
    }
    if (now >= bannerAtUs_) {
        bannerAtUs_ = kNever;
        if (!faults_.noPrompt) announce(texts::kBootBanner);
    }
    if (now >= promptAtUs_) {
        promptAtUs_ = kNever;
        if (!faults_.noPrompt) announce(options_.prompt);
        enter(Mode::Idle, "idle at " + std::to_string(options_.rate));
    }
    if (now >= hangupCheckAtUs_) {
        const bool answerTaken = out_.idle() && line_.bytesWaitingForTool() == 0;
        if (answerTaken || now - hangupArmedAtUs_ >= kHangupLongestWaitUs) {
            hangupCheckAtUs_ = kNever;
            hangUp(hangupWhy_);
        } else {
            hangupCheckAtUs_ = now + kHangupCheckUs;
        }
    }
}

int64_t Unit::nextDeadline() const {
    if (gone_) return kNever;
    int64_t deadline = std::min({bannerAtUs_, promptAtUs_, hangupCheckAtUs_});
    if (mode_ == Mode::Image) deadline = std::min(deadline, imageQuietSinceUs_ + scaledUs(timing::kImageSilenceLimitMs));
    return deadline;
}

void Unit::answer(const std::string& text, uint32_t speed) { say(faults_.echo ? lastRaw_ + text : text, speed); }

void Unit::say(const std::string& text, uint32_t speed) {
    const std::string bytes = faults_.binaryReplies ? withBinaryAround(text) : text;
    log_.write("send", std::to_string(speed) + " " + escapeForLog(bytes));
    out_.send(bytes);
}

// Unasked output (banner, prompt) goes out at the unit's own rate, whatever the line is at.
void Unit::announce(const std::string& text) {
    const uint32_t speed = line_.lineSpeed();
    if (speed == options_.rate) {
        say(text, speed);
        return;
    }
    log_.write("state", "the line is at " + std::to_string(speed) + ", the unit talks at " +
                            std::to_string(options_.rate) + ": garbled");
    say(garbled(text), speed);
}

void Unit::armHangUp(int64_t now, const std::string& why) {
    hangupArmedAtUs_ = now;
    hangupCheckAtUs_ = now + kHangupSettleUs;
    hangupWhy_ = why;
}

void Unit::hangUp(const std::string& why) {
    log_.write("state", "hang-up " + why);
    line_.hangUp();
    gone_ = true;
}
