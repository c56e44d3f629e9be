// What the tool sends, as the unit hears it. Unpaced, a chunk is heard the moment it is
// read. Paced (--pace), each chunk travels a virtual line at line speed / 10 bytes a
// second and is heard when its last byte would have arrived; while the virtual line is
// busy the tool's writes are held, as a real port's are by its transmit buffer and CTS.
//
// A pseudo-terminal takes about 14 KB before a writer blocks, a real port's transmit buffer
// about 4 KB, and once let go the tool slips in what fits before the hold is back. So the
// tool's last write of an image can return more than a second before the virtual line has
// carried it, and the unit's reply would miss the tool's one-second read. The last chunk
// of an image is therefore never heard later than kLongestLagUs after it was read (the line
// time dropped is logged); everywhere else the line keeps its full time.
#ifndef UNIT_SIM_PACED_INPUT_H
#define UNIT_SIM_PACED_INPUT_H

#include <cstdint>
#include <deque>
#include <string>

#include "EventLog.h"
#include "PseudoTerminal.h"

struct HeardBytes {
    std::string bytes;
    uint32_t speed = 0;  // the line speed while they came
    int64_t dueUs = 0;
};

class PacedInput {
public:
    PacedInput(PseudoTerminal& line, EventLog& log, bool pace) : line_(line), log_(log), pace_(pace) {}

    void push(std::string bytes, uint32_t speed, int64_t now);
    // An image of this many bytes at imageSpeed comes next; the unit answers its last byte.
    void expectImage(uint32_t length, uint32_t imageSpeed);
    // The next chunk whose time has come; false when there is none.
    bool takeDue(int64_t now, HeardBytes& chunk);
    // Holds the tool's writes while the virtual line is busy.
    void updateHold(int64_t now);
    int64_t nextDeadline() const;

private:
    PseudoTerminal& line_;
    EventLog& log_;
    const bool pace_;
    std::deque<HeardBytes> pending_;
    int64_t lineFreeUs_ = 0;
    bool holding_ = false;
    uint32_t imageBytesLeft_ = 0;
    uint32_t imageSpeed_ = 0;
};

#endif
