// A simulated unit for end-to-end tests: build/unit-sim on a pseudo-terminal linked into
// a port directory, with its event log and the images it received in a folder of its own.
#ifndef KESTRANE_SIM_UNIT_H
#define KESTRANE_SIM_UNIT_H

#include <memory>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TerminalProcess.h"

class SimUnit {
public:
    // Starts unit-sim with --dir portDir, --log and --save into a folder of its own, and
    // the given options; waits until it is ready (check ready()).
    SimUnit(const std::string& portDir, const std::vector<std::string>& options);
    ~SimUnit();  // stops it; its folder goes with it
    SimUnit(const SimUnit&) = delete;
    SimUnit& operator=(const SimUnit&) = delete;

    bool ready() const { return ready_; }
    const std::string& startupText() const { return startup_; }
    void stop();  // SIGTERM, then wait
    bool hasExited();

    std::string log() const;  // the event log so far
    // Lines of the log whose event is `event` ("recv", "send", "image", ...), without
    // their time stamp: "<event> <rest>".
    std::vector<std::string> events(const std::string& event) const;
    // A file the simulator saved: "fpga.bin", "mcu.bin", "announced.txt".
    std::string saved(const std::string& name) const;

private:
    TempDir folder_{"kestrane-sim"};
    std::unique_ptr<TerminalProcess> process_;
    bool ready_ = false;
    std::string startup_;
};

// The test-time factor of KestraneFwUpgrade-testtime, as unit-sim options.
std::vector<std::string> testTimeOptions();

#endif
