// Everything the unit sends goes through here: queued, written without ever blocking the
// loop that reads the tool, paced at the line rate or trickled on request, and the endless
// stream of the flood faults.
#ifndef UNIT_SIM_TRANSMITTER_H
#define UNIT_SIM_TRANSMITTER_H

#include <cstdint>
#include <string>

#include "EventLog.h"
#include "PseudoTerminal.h"

class Transmitter {
public:
    // trickleGapMs < 0: no trickle.
    Transmitter(PseudoTerminal& line, EventLog& log, bool pace, int trickleGapMs)
        : line_(line), log_(log), pace_(pace), trickleGapMs_(trickleGapMs) {}

    void send(const std::string& bytes) { queue_.append(bytes); }
    // Sends text without end, after what is queued, until stopFlood, a change of the line
    // speed, or limitUs from now.
    void startFlood(int64_t now, int64_t limitUs);
    void stopFlood(const char* why);
    bool flooding() const { return flooding_; }
    // Nothing left to hand to the line.
    bool idle() const { return sent_ >= queue_.size() && !flooding_; }

    void pump(int64_t now);
    int64_t nextDeadline(int64_t now) const;
    bool waitsForRoom() const { return blocked_; }
    void roomAvailable() { blocked_ = false; }

private:
    PseudoTerminal& line_;
    EventLog& log_;
    const bool pace_;
    const int trickleGapMs_;
    std::string queue_;
    size_t sent_ = 0;
    int64_t nextWriteUs_ = 0;
    bool blocked_ = false;
    bool flooding_ = false;
    int64_t floodUntilUs_ = 0;
    uint32_t floodSpeed_ = 0;
    uint64_t floodBytes_ = 0;
};

#endif
