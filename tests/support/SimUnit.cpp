#include "SimUnit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "TestPaths.h"

std::vector<std::string> testTimeOptions() { return {"--time-divisor", std::to_string(KESTRANE_TEST_TIME_DIVISOR)}; }

SimUnit::SimUnit(const std::string& portDir, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {binPath("unit-sim"), "--dir", portDir, "--log", folder_.file("events.log"),
                                     "--save", folder_.path()};
    argv.insert(argv.end(), options.begin(), options.end());
    TerminalProcess::Options how;
    how.stdinIsTerminal = false;
    process_ = std::make_unique<TerminalProcess>(argv, how);
    ready_ = process_->waitForOutput("\n", 10000) && process_->output().rfind("unit-sim: ", 0) == 0;
    startup_ = process_->output() + process_->errors();
}

SimUnit::~SimUnit() { stop(); }

void SimUnit::stop() {
    if (!process_ || process_->exited()) return;
    process_->sendSignal(SIGTERM);
    if (!process_->waitForExit(5000)) process_->kill();
}

bool SimUnit::hasExited() { return process_->waitForExit(0); }

std::string SimUnit::log() const { return fileContents(folder_.file("events.log")); }

std::vector<std::string> SimUnit::events(const std::string& event) const {
    std::vector<std::string> found;
    std::istringstream lines(log());
    std::string line;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string rest = line.substr(space + 1);
        if (rest.compare(0, event.size() + 1, event + " ") == 0) found.push_back(rest);
    }
    return found;
}

std::string SimUnit::saved(const std::string& name) const { return fileContents(folder_.file(name)); }
