// The unit itself: what it hears at which line speed, what it answers, the uploads and the
// reboot, and the misbehaviours it was asked for.
#ifndef UNIT_SIM_UNIT_H
#define UNIT_SIM_UNIT_H

#include <cstdint>
#include <string>

#include "Clock.h"
#include "EventLog.h"
#include "ImageRecorder.h"
#include "PacedInput.h"
#include "PseudoTerminal.h"
#include "SimOptions.h"
#include "Transmitter.h"

class Unit {
public:
    Unit(const SimOptions& options, PseudoTerminal& line, PacedInput& input, Transmitter& out, EventLog& log,
         ImageRecorder& recorder)
        : options_(options), faults_(options.faults), line_(line), input_(input), out_(out), log_(log),
          recorder_(recorder) {}

    void start();
    // Bytes the tool sent, heard at the line speed they came with.
    void hear(const std::string& bytes, uint32_t speed, int64_t now);
    void onTime(int64_t now);
    int64_t nextDeadline() const;
    // The unit hung up (a fault): the simulator ends.
    bool gone() const { return gone_; }

private:
    enum class Mode {
        Idle,       // at its own rate
        Uploading,  // between the two uploads, at 115200
        Image,      // taking an image's bytes at 115200
        Rebooting,  // deaf until its prompt
    };

    uint32_t expectedSpeed() const;
    void enter(Mode mode, const std::string& why);
    void takeCommandByte(const std::string& bytes, size_t& index, uint32_t speed, int64_t now);
    void handleLine(const std::string& raw, uint32_t speed, int64_t now);
    void handleUpload(char kind, const std::string& arguments, uint32_t speed, int64_t now);
    size_t takeImageBytes(const std::string& bytes, size_t from, uint32_t speed, int64_t now);
    void finishImage(int64_t now, const char* abandonedWhy);
    void answer(const std::string& text, uint32_t speed);
    void say(const std::string& text, uint32_t speed);
    void announce(const std::string& text);
    void hangUp(const std::string& why);
    // Hangs up once the line has settled: what the unit sent has been read, a little
    // after now.
    void armHangUp(int64_t now, const std::string& why);
    int64_t scaledUs(int64_t ms) const { return ms * 1000 / options_.timeDivisor; }

    const SimOptions& options_;
    const Faults& faults_;
    PseudoTerminal& line_;
    PacedInput& input_;
    Transmitter& out_;
    EventLog& log_;
    ImageRecorder& recorder_;

    Mode mode_ = Mode::Idle;
    bool gone_ = false;

    // The command line being received, bounded; the raw bytes of the last one for echoes.
    std::string pendingLine_;
    size_t overlongBytes_ = 0;
    bool skipCarriageReturn_ = false;
    std::string lastRaw_;
    int probesHeard_ = 0;

    // The image being received.
    char imageKind_ = 'l';
    uint32_t announcedChecksum_ = 0;
    uint32_t announcedLength_ = 0;
    uint32_t imageCount_ = 0;
    uint32_t imageSum_ = 0;
    uint32_t imageFirstSpeed_ = 0;
    std::string imageBytes_;
    int64_t imageQuietSinceUs_ = 0;

    int64_t bannerAtUs_ = kNever;
    int64_t promptAtUs_ = kNever;
    int64_t hangupArmedAtUs_ = kNever;
    int64_t hangupCheckAtUs_ = kNever;
    std::string hangupWhy_;
};

#endif
