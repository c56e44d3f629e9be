// What the tool writes on standard error about the ports it could not use, as the tests
// expect it from the programs under test: the Linux ones name a port's device (for the
// tests, its link in the port directory and the pseudo-terminal behind it); the Windows
// ones, under Wine, name "\\.\COMn" and say what Wine says.
#ifndef KESTRANE_PORT_REPORT_H
#define KESTRANE_PORT_REPORT_H

#include <string>

#include "PtyPort.h"

namespace portReport {

// The report after a search of a port directory without a single port.
std::string noPortFound(const PortDir& ports);
// The first line of the report after a search that met ports but no unit.
std::string header();
// The report's line about port `number`, its words being why it could not be used.
std::string port(const PortDir& ports, int number, const std::string& words);
// The device of port `number` as a failed open names it.
std::string device(const PortDir& ports, int number);
// The line after "ERROR: Opening COMn failed !" for a port that does not exist.
std::string missing(const PortDir& ports, int number);

}  // namespace portReport

#endif
