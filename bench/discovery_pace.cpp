// How long the shipping tool takes to find a unit on COM3 at 9600 baud (COM1 and COM2
// absent), from its start to the end of the search's report, next to the protocol's own
// pace for it: two silent attempts at 115200 (one read time-out of 500 ms each) and one
// answered attempt at 9600 (the read that takes the reply and one empty read).
#include <sys/time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "PtyPort.h"
#include "SimUnit.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 7;
    const double paceMs = 2 * 500 + 2 * 500;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        PortDir ports;
        SimUnit unit(ports.path(), {"--port", "3", "--rate", "9600", "--variant", "tx"});
        if (!unit.ready()) {
            fprintf(stderr, "discovery_pace: unit-sim did not start: %s\n", unit.startupText().c_str());
            return 0;
        }
        const auto start = std::chrono::steady_clock::now();
        TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, false, ""});
        if (!tool.waitForOutput("Baud rate       : 9600 \r\n\r\n", 30000)) {
            fprintf(stderr, "discovery_pace: the tool did not find the unit\n");
            return 0;
        }
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        tool.kill();
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    printf("discovery_pace: COM3 at 9600, COM1 and COM2 absent, %d runs\n", runs);
    printf("  protocol pace                 %8.1f ms  (2 x 500 ms silent at 115200, 2 x 500 ms answered at 9600)\n",
           paceMs);
    printf("  tool, start to branch report  %8.1f ms  median (min %.1f, max %.1f)\n", median, times.front(),
           times.back());
    printf("  overhead                      %8.2f %%  (goal: at most 5 %%)\n", (median / paceMs - 1) * 100);
    return 0;
}
