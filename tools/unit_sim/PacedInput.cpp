#include "PacedInput.h"

#include <algorithm>
#include <utility>

#include "Clock.h"

// The tool is let go again this long before the virtual line runs dry, so that the line
// does not idle while the tool wakes up.
static const int64_t kReleaseAheadUs = 2000;
// The tool reads for one second after its last write; the reply must start well inside.
static const int64_t kLongestLagUs = 900000;

void PacedInput::push(std::string bytes, uint32_t speed, int64_t now) {
    HeardBytes chunk;
    chunk.speed = speed;
    chunk.dueUs = now;
    const int64_t bytesPerSecond = speed / 10;
    if (pace_ && bytesPerSecond > 0) {
        const int64_t start = std::max(lineFreeUs_, now);
        lineFreeUs_ = start + static_cast<int64_t>(bytes.size()) * 1000000 / bytesPerSecond;
        if (imageBytesLeft_ > 0 && speed == imageSpeed_) {
            imageBytesLeft_ -= static_cast<uint32_t>(std::min<size_t>(imageBytesLeft_, bytes.size()));
            if (imageBytesLeft_ == 0 && lineFreeUs_ > now + kLongestLagUs) {
                log_.write("state", "pace: the last write came " + std::to_string((lineFreeUs_ - now) / 1000) +
                                        " ms before the line could carry it; line time shortened by " +
                                        std::to_string((lineFreeUs_ - now - kLongestLagUs) / 1000) + " ms");
                lineFreeUs_ = now + kLongestLagUs;
            }
        }
        chunk.dueUs = lineFreeUs_;
    }
    chunk.bytes = std::move(bytes);
    pending_.push_back(std::move(chunk));
    // At once, not after the read loop: every moment the tool runs free it slips more in.
    updateHold(now);
}

void PacedInput::expectImage(uint32_t length, uint32_t imageSpeed) {
    imageBytesLeft_ = length;
    imageSpeed_ = imageSpeed;
}

bool PacedInput::takeDue(int64_t now, HeardBytes& chunk) {
    if (pending_.empty() || pending_.front().dueUs > now) return false;
    chunk = std::move(pending_.front());
    pending_.pop_front();
    return true;
}

void PacedInput::updateHold(int64_t now) {
    if (!pace_) return;
    const bool busy = lineFreeUs_ - now > kReleaseAheadUs;
    if (busy != holding_) line_.holdToolOutput(busy);
    holding_ = busy;
}

int64_t PacedInput::nextDeadline() const {
    int64_t deadline = pending_.empty() ? kNever : pending_.front().dueUs;
    if (holding_) deadline = std::min(deadline, lineFreeUs_ - kReleaseAheadUs);
    return deadline;
}
