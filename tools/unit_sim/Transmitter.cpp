#include "Transmitter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Clock.h"
#include "UnitTexts.h"

// A flood that the tool no longer reads fills the line; its speed is looked at this often
// so that the flood still ends when the tool moves on to another rate.
static const int64_t kFloodCheckUs = 10000;
// Paced writes go out in slices of this much line time.
static const int64_t kPaceSliceUs = 5000;
static const size_t kMaxWrite = 65536;

void Transmitter::startFlood(int64_t now, int64_t limitUs) {
    flooding_ = true;
    floodUntilUs_ = now + limitUs;
    floodSpeed_ = line_.lineSpeed();
    floodBytes_ = 0;
    log_.write("state", "flood started at " + std::to_string(floodSpeed_));
}

void Transmitter::stopFlood(const char* why) {
    if (!flooding_) return;
    flooding_ = false;
    log_.write("state", "flood ended after " + std::to_string(floodBytes_) + " bytes: " + why);
}

void Transmitter::pump(int64_t now) {
    static const std::string floodChunk(4096, static_cast<char>(texts::kFloodByte));
    for (int round = 0; round < 64 && !blocked_; ++round) {
        if (flooding_ && now >= floodUntilUs_) stopFlood("time limit");
        if (flooding_ && line_.lineSpeed() != floodSpeed_) stopFlood("the line speed changed");
        const bool fromQueue = sent_ < queue_.size();
        if (!fromQueue && !flooding_) break;
        if (now < nextWriteUs_) break;

        const uint32_t bytesPerSecond = line_.lineSpeed() / 10;  // 8N1: ten bits a byte
        const bool paced = pace_ && bytesPerSecond > 0;
        size_t want = kMaxWrite;
        if (trickleGapMs_ >= 0) want = 1;
        else if (paced) want = std::max<size_t>(1, static_cast<size_t>(bytesPerSecond * kPaceSliceUs / 1000000));
        const char* data = fromQueue ? queue_.data() + sent_ : floodChunk.data();
        const size_t available = fromQueue ? queue_.size() - sent_ : floodChunk.size();
        const ssize_t written = write(line_.master(), data, std::min(want, available));
        if (written < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                blocked_ = true;
                break;
            }
            log_.write("state", std::string("cannot send: ") + strerror(errno));
            queue_.clear();
            sent_ = 0;
            stopFlood("the line failed");
            break;
        }
        if (fromQueue) sent_ += static_cast<size_t>(written);
        else floodBytes_ += static_cast<uint64_t>(written);
        const int64_t start = std::max(nextWriteUs_, now);
        if (trickleGapMs_ >= 0) nextWriteUs_ = now + trickleGapMs_ * int64_t{1000};
        else if (paced) nextWriteUs_ = start + written * int64_t{1000000} / bytesPerSecond;
    }
    if (sent_ >= queue_.size()) {
        queue_.clear();
        sent_ = 0;
    }
}

int64_t Transmitter::nextDeadline(int64_t now) const {
    int64_t deadline = kNever;
    if (flooding_) deadline = std::min(floodUntilUs_, now + kFloodCheckUs);
    if ((sent_ < queue_.size() || flooding_) && !blocked_) deadline = std::min(deadline, std::max(nextWriteUs_, now));
    return deadline;
}
