// A whole upgrade by the shipping tool against a unit that takes the image bytes at the
// real line rate (115200 baud, 8N1: 11,520 bytes a second), next to the protocol's own
// lower bound for the same run: every read time-out the tool must sit through, the 46
// reboot pauses and the image bytes at the line rate. Also the tool's CPU time, which
// stays small because the tool waits on the line and never spins. About five minutes.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "PtyPort.h"
#include "SimUnit.h"
#include "TerminalProcess.h"
#include "TestPaths.h"

static double cpuSecondsOfChildren() {
    struct rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int main() {
    const double bytesPerSecond = 115200.0 / 10;
    const int fpgaLength = 1102544;  // the TX image of the 1.0.6 set (and of the sample set)
    const int mcuLength = 117648;
    // Read time-outs in ms: the search (two silent attempts at 115200, the answered one),
    // the version read, the product reply and its empty read, each "Ready" (its read and
    // an empty one), each "SUCCESS" (the same), the two reads after the reboot pauses.
    const double readsMs = 4 * 500 + 1000 + 2 * 1000 + 2 * 10000 + 2 * 1000 + 2 * 5000 + 2 * 1000 + 1000 + 11000;
    const double pausesMs = 46 * 3000;
    const double bytesMs = (fpgaLength + mcuLength) / bytesPerSecond * 1000;
    const double boundMs = readsMs + pausesMs + bytesMs;

    PortDir ports;
    SimUnit unit(ports.path(), {"--port", "3", "--rate", "9600", "--variant", "tx", "--pace"});
    if (!unit.ready()) {
        fprintf(stderr, "upgrade_pace: unit-sim did not start: %s\n", unit.startupText().c_str());
        return 0;
    }
    const double cpuBefore = cpuSecondsOfChildren();
    const auto start = std::chrono::steady_clock::now();
    TerminalProcess tool({binPath("KestraneFwUpgrade")}, {{ports.envEntry()}, false, ""});
    if (!tool.waitForExit(900000)) {
        fprintf(stderr, "upgrade_pace: the upgrade did not end within 15 minutes\n");
        return 0;
    }
    const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSecondsOfChildren() - cpuBefore;
    const bool succeeded = tool.output().find("The update was successful") != std::string::npos;

    printf("upgrade_pace: TX unit at 9600 baud, images paced at %.0f bytes/s, shipping tool\n", bytesPerSecond);
    printf("  lower bound      %9.1f s  (read time-outs %.1f s + pauses %.1f s + %d bytes at the line rate %.1f s)\n",
           boundMs / 1000, readsMs / 1000, pausesMs / 1000, fpgaLength + mcuLength, bytesMs / 1000);
    printf("  tool, wall time  %9.1f s  (%+.2f %% over the bound; goal: within 1 %%)%s\n", wallMs / 1000,
           (wallMs / boundMs - 1) * 100, succeeded ? "" : "  -- THE UPGRADE DID NOT SUCCEED");
    printf("  tool, CPU time   %9.3f s  (user + system; goal: under 1 s)\n", cpu);
    return 0;
}
