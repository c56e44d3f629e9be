#include "PortReport.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "TestPaths.h"

namespace portReport {

std::string noPortFound(const PortDir& ports) {
    if (testsWindowsPrograms())
        return "\nNo serial port found: Windows lists no COM port. Check that the adapter is plugged in and that "
               "its driver is installed (Device Manager, under \"Ports (COM & LPT)\").\n";
    return "\nNo serial port found: COM_PORT_DIR (" + ports.path() + ") holds no COMn link.\n";
}

std::string header() { return "\nNo unit answered. The serial ports of this machine:\n"; }

std::string port(const PortDir& ports, int number, const std::string& words) {
    const std::string label = "COM" + std::to_string(number);
    // Wine lists no device behind its COM ports: the number is all there is.
    if (testsWindowsPrograms()) return "  " + label + ": " + words + "\n";
    char padded[16];
    snprintf(padded, sizeof padded, "%-6s", label.c_str());
    const std::string link = ports.file(label);
    char resolved[PATH_MAX];
    const bool isLink = realpath(link.c_str(), resolved) && link != resolved;
    const std::string behind = isLink ? std::string(" -> ") + resolved : "";
    return "  " + std::string(padded) + " " + link + behind + ": " + words + "\n";
}

std::string device(const PortDir& ports, int number) {
    if (testsWindowsPrograms()) return "\\\\.\\COM" + std::to_string(number);
    return ports.file("COM" + std::to_string(number));
}

std::string missing(const PortDir& ports, int number) {
    const std::string reason = testsWindowsPrograms() ? "File not found." : "No such file or directory.";
    return " -- " + device(ports, number) + ": " + reason + " Is the adapter plugged in, and is COM" +
           std::to_string(number) + " its number?\n";
}

}  // namespace portReport
