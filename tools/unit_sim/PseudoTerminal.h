// The unit's end of the wire: a pseudo-terminal whose slave side the tool opens as a
// serial port through the link DIR/COM<N>.
#ifndef UNIT_SIM_PSEUDO_TERMINAL_H
#define UNIT_SIM_PSEUDO_TERMINAL_H

#include <cstdint>
#include <string>

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair, puts the line in raw mode at initialRate and links it. False with
    // a reason when any step fails (nothing is left behind then).
    bool create(const std::string& dir, int port, uint32_t initialRate, std::string& error);

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    const std::string& linkPath() const { return linkPath_; }

    uint32_t lineSpeed() const;
    // Holds the tool's writes as a unit holding CTS low would, or lets them go again.
    void holdToolOutput(bool hold);
    // Bytes the unit sent that the tool has not read yet.
    int bytesWaitingForTool() const;
    // The unit goes away: the tool's writes fail from now on, and the link is gone.
    void hangUp();
    void removeLink();

private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the tool's closes never hang the line up
    bool holding_ = false;
    std::string slavePath_;
    std::string linkPath_;
};

#endif
