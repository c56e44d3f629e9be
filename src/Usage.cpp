// The usage text. Written before anything else happens in a run: a request for help must
// never send a probe to a serial device.
#include "Usage.h"

#include <cstdio>
#include <cstring>

#include "KestraneFwUpgrade.h"
#include "firmware/BinImage.h"

static const char* const kWhatItDoes =
    "Usage: KestraneFwUpgrade\n"
    "       KestraneFwUpgrade --help\n"
    "\n"
    "Upgrades one 6G SDI extender over fiber, a TX or an RX unit, over a serial port to\n"
    "firmware version " FIRMWARE_VERSION_TO_UPLOAD ", which this program carries. Apart from --help alone,\n"
    "it reads no arguments (any given are ignored). One run:\n"
    "\n"
    "1. It searches ports COM1 to COM32 at 115200, 9600, 57600, 4800, 2400 and 1200 baud\n"
    "   for a unit that answers; when none does, it asks for a port number and a baud rate.\n"
    "2. It reads the unit's firmware and FPGA versions, accepts only the XC7A35 FPGA device\n"
    "   and tells TX from RX by the unit's product text.\n"
    "3. It uploads the FPGA configuration, then the microcontroller firmware.\n"
    "4. It waits 138 seconds for the unit to reboot and checks its prompt.\n"
    "5. It waits for a key (not when standard input is no terminal).\n"
    "\n";

static const char* const kPorts =
    "Ports:\n"
    "  On Linux, when the environment variable COM_PORT_DIR is set, COMn is the device\n"
    "  $COM_PORT_DIR/COMn (for example a link to /dev/serial/by-id/...). Otherwise\n"
    "  COM1-COM8 are /dev/ttyUSB0-7, COM9-COM16 are /dev/ttyACM0-7 and COM17-COM32 are\n"
    "  /dev/ttyS0-15. The user needs read and write access to the device (on Debian, the\n"
    "  dialout group).\n"
    "  On Windows, COMn is the system's own COM port.\n"
    "\n";

static const char* const kSampleSet =
    "This build carries the SYNTHETIC SAMPLE images, for the tests and the demo only: it\n"
    "never opens a real unit's port.\n"
    "\n";

static const char* const kExitStatus =
    "Exit status:\n"
    "  0         the upgrade went through (the console says whether the unit's prompt\n"
    "            came back)\n"
    "  1         the upgrade started and failed (the console says where)\n"
    "  255       no usable link: the port or baud rate entered by hand could not be\n"
    "            used, or an answer was not a decimal number\n"
    "  2         not enough memory for the tool's buffers\n"
    "  130, 143  ended by Ctrl-C or SIGTERM\n";

BOOL Usage_IsHelpRequest(int argc, const char* const* argv) {
    if (argc != 2 || !argv || !argv[1]) return FALSE;
    return strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0 ? TRUE : FALSE;
}

void Usage_Print() {
    fputs(kWhatItDoes, stdout);
    fputs(kPorts, stdout);
    if (AUTOGEN_IS_SAMPLE_SET) fputs(kSampleSet, stdout);
    fputs(kExitStatus, stdout);
}
