// Serial ports for tests: a fresh port directory (what COM_PORT_DIR names) and
// pseudo-terminals linked into it as COMn. The test holds the master side and plays
// the unit; the code under test opens the slave side as port n.
#ifndef KESTRANE_PTY_PORT_H
#define KESTRANE_PTY_PORT_H

#include <cstdint>
#include <string>

#include "TempDir.h"

class PortDir : public TempDir {
public:
    PortDir() : TempDir("kestrane-ports") {}
    ~PortDir();  // stops the Wine server of a Windows program run here, if any
    // "COM_PORT_DIR=<path>", for a child's environment.
    std::string envEntry() const { return "COM_PORT_DIR=" + path(); }
    // Sets COM_PORT_DIR of this process to the directory.
    void useInThisProcess() const;
};

class PtyPort {
public:
    // A pseudo-terminal linked as <dir>/COM<number>, raw, with a slave descriptor kept
    // open so that the line survives the closes of the code under test.
    PtyPort(const PortDir& dir, int number);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    const std::string& linkPath() const { return linkPath_; }

    // What the code under test wrote, waiting up to waitMs for the first byte and then
    // until the line has been quiet for quietMs.
    std::string read(int waitMs, int quietMs = 20);
    void write(const std::string& bytes);
    // The unit goes away: the master side closes and the line hangs up for good.
    void hangUp();

    // The line settings the code under test set on the slave side.
    uint32_t lineSpeed() const;
    bool ctsFlowControl() const;
    bool rawEightNOne() const;  // raw mode, 8 data bits, no parity, 1 stop bit, CLOCAL, CREAD

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::string linkPath_;
};

#endif
