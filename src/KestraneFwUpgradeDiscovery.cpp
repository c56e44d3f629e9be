// The search for the port and baud rate at which a unit answers: ports 1 to 32, six
// rates each, two attempts per rate at the unit's help text for "version".
#include "ComPortAPI.h"
#include "KestraneFwUpgrade.h"

static const char ResponseExpected[100] =
    "version\n\r   version <no parameters> {Get the current firmware version}\r\n>>";

static const int kBaudRatesToTry[] = {115200, 9600, 57600, 4800, 2400, 1200};
#define FIRST_PORT 1
#define LAST_PORT 32
#define ATTEMPTS_PER_RATE 2

BOOL detectComPortAndBaudrate() {
    for (int i = FIRST_PORT; i <= LAST_PORT; ++i) {
        // A port that does not exist or that another program holds is skipped silently.
        if (!ComPortAPI_ProbeCOM(i)) {
            gComPortNumber = 0;
            gBaudRate = 0;
            ComPortAPI_CloseCOM();
            continue;
        }
        gComPortNumber = i;
        ComPortAPI_CloseCOM();
        for (const int rate : kBaudRatesToTry) {
            ComPortAPI_SetBaudRate(rate);  // no port is open: stored for the open below
            if (!ComPortAPI_OpenCOM(i)) continue;
            gBaudRate = rate;
            for (int attempt = 0; attempt < ATTEMPTS_PER_RATE; ++attempt) {
                if (sendCommand("%help -c version", FALSE, TRUE, ResponseExpected)) return TRUE;
            }
            ComPortAPI_CloseCOM();
        }
    }
    return FALSE;
}
