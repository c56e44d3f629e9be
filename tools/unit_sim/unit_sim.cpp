// unit-sim: one TX or RX unit of the extender on a pseudo-terminal, so that the upgrade
// tool can run without hardware. One thread, one poll loop: it reads what the tool sends,
// hears it at the line speed the tool has set, and answers as a unit would.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "Clock.h"
#include "EventLog.h"
#include "ImageRecorder.h"
#include "PacedInput.h"
#include "PseudoTerminal.h"
#include "SimOptions.h"
#include "Transmitter.h"
#include "Unit.h"

namespace {

int gSignalPipe[2] = {-1, -1};
volatile sig_atomic_t gSignal = 0;

void onSignal(int number) {
    gSignal = number;
    const char byte = 1;
    const ssize_t ignored = write(gSignalPipe[1], &byte, 1);
    (void)ignored;
}

bool installSignals(std::string& error) {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("cannot create a pipe: ") + strerror(errno);
        return false;
    }
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int timeoutMs(int64_t deadline, int64_t now) {
    if (deadline == kNever) return -1;
    if (deadline <= now) return 0;
    // Round up: waking a little late is harmless, waking early would only loop once more.
    return static_cast<int>(std::min<int64_t>((deadline - now + 999) / 1000, 60000));
}

// Reads one chunk of what the tool sent. One, not all there is: the unit must hear each
// chunk before the next is taken, or a tool writing without pause would get a whole image
// into the unit before it could, say, hang up in the middle of it.
void readFromTool(PseudoTerminal& line, PacedInput& input, Transmitter& out, int64_t now) {
    char chunk[65536];
    ssize_t count;
    do {
        count = read(line.master(), chunk, sizeof chunk);
    } while (count < 0 && errno == EINTR);
    // Nothing (EAGAIN), or EIO once the slave side is closed, which ours never is.
    if (count <= 0) return;
    // The flood faults run until the tool says something new.
    out.stopFlood("the tool wrote");
    input.push(std::string(chunk, static_cast<size_t>(count)), line.lineSpeed(), now);
}

int run(const SimOptions& options) {
    const int64_t startUs = nowUs();
    std::string error;
    EventLog log(startUs);
    ImageRecorder recorder;
    if (!isDirectory(options.dir)) error = "the port directory " + options.dir + " does not exist";
    else if (!options.saveDir.empty() && !isDirectory(options.saveDir)) error = "the save directory " + options.saveDir + " does not exist";
    if (error.empty() && log.open(options.logPath, error) && recorder.open(options.saveDir, error)) installSignals(error);
    PseudoTerminal line;
    if (error.empty()) line.create(options.dir, options.port, options.rate, error);
    if (!error.empty()) {
        fprintf(stderr, "unit-sim: %s\n", error.c_str());
        return 1;
    }

    Transmitter out(line, log, options.pace, options.faults.trickle ? options.gapMs : -1);
    PacedInput input(line, log, options.pace);
    Unit unit(options, line, input, out, log, recorder);
    unit.start();
    printf("unit-sim: COM%d %s %s %u\n", options.port, line.slavePath().c_str(), options.rx ? "RX" : "TX", options.rate);
    fflush(stdout);

    while (!unit.gone() && gSignal == 0) {
        int64_t now = nowUs();
        const int64_t deadline = std::min({unit.nextDeadline(), input.nextDeadline(), out.nextDeadline(now)});
        struct pollfd watched[2] = {{line.master(), static_cast<short>(POLLIN | (out.waitsForRoom() ? POLLOUT : 0)), 0},
                                    {gSignalPipe[0], POLLIN, 0}};
        const int ready = poll(watched, 2, timeoutMs(deadline, now));
        if (ready < 0 && errno != EINTR) {
            fprintf(stderr, "unit-sim: poll failed: %s\n", strerror(errno));
            break;
        }
        now = nowUs();
        if (ready > 0 && (watched[0].revents & POLLIN)) readFromTool(line, input, out, now);
        if (ready > 0 && (watched[0].revents & POLLOUT)) out.roomAvailable();
        HeardBytes heard;
        while (!unit.gone() && input.takeDue(now, heard)) unit.hear(heard.bytes, heard.speed, now);
        unit.onTime(now);
        if (unit.gone()) break;
        input.updateHold(now);
        out.pump(now);
    }
    if (gSignal != 0) log.write("state", std::string("ended by ") + strsignal(gSignal));
    line.hangUp();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        fprintf(stderr, "unit-sim: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        printUsage(stdout);
        return 0;
    }
    return run(options);
}
