#include "SimUnit.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "TestPaths.h"

std::string fileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> testTimeOptions() { return {"--time-divisor", std::to_string(KESTRANE_TEST_TIME_DIVISOR)}; }

SimUnit::SimUnit(const std::string& portDir, const std::vector<std::string>& options) {
    char templ[] = "/tmp/kestrane-sim-XXXXXX";
    if (!mkdtemp(templ)) abort();
    folder_ = templ;
    std::vector<std::string> argv = {binPath("unit-sim"), "--dir", portDir, "--log", folder_ + "/events.log",
                                     "--save", folder_};
    argv.insert(argv.end(), options.begin(), options.end());
    TerminalProcess::Options how;
    how.stdinIsTerminal = false;
    process_ = std::make_unique<TerminalProcess>(argv, how);
    ready_ = process_->waitForOutput("\n", 10000) && process_->output().rfind("unit-sim: ", 0) == 0;
    startup_ = process_->output() + process_->errors();
}

SimUnit::~SimUnit() {
    stop();
    const std::string command = "rm -rf '" + folder_ + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", folder_.c_str());
}

void SimUnit::stop() {
    if (!process_ || process_->exited()) return;
    process_->sendSignal(SIGTERM);
    if (!process_->waitForExit(5000)) process_->kill();
}

bool SimUnit::hasExited() { return process_->waitForExit(0); }

std::string SimUnit::log() const { return fileContents(folder_ + "/events.log"); }

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

std::string SimUnit::saved(const std::string& name) const { return fileContents(folder_ + "/" + name); }
