// The console run: one upgrade of one unit, from the banner to the last key press.
#include <cstdio>

#include "ComPortAPI.h"
#include "KestraneFwUpgrade.h"
#include "Platform.h"
#include "PortDiagnosis.h"
#include "Usage.h"

static const char* const kNotADecimalNumber = "\r\nERROR: A decimal number was expected !\r\n";

// The fallback when no unit answered the port search: the user names port and rate.
static BOOL setUpLinkByHand() {
    fputs("FAILED", stdout);
    PortDiagnosis_ReportSearch();
    fputs("\n\r\n\rEnter the COM port number : ", stdout);
    if (!Platform_ReadDecimalInt(&gComPortNumber)) {
        fputs(kNotADecimalNumber, stdout);
        dipsplayLastMessageToUserBeforeExit("");
        return FALSE;
    }
    printf("\r\nOpening COM%d....................", gComPortNumber);
    if (!ComPortAPI_OpenCOM(gComPortNumber)) {
        dipsplayLastMessageToUserBeforeExit("");
        return FALSE;
    }
    fputs("OK\r\n", stdout);
    fputs("\n\r\n\rEnter the BAUD RATE       : ", stdout);
    if (!Platform_ReadDecimalInt(&gBaudRate)) {
        ComPortAPI_CloseCOM();
        fputs(kNotADecimalNumber, stdout);
        dipsplayLastMessageToUserBeforeExit("");
        return FALSE;
    }
    printf("\r\nSetting baud rate at %d..........", gBaudRate);
    if (!ComPortAPI_SetBaudRate(gBaudRate)) {
        ComPortAPI_CloseCOM();
        dipsplayLastMessageToUserBeforeExit("");
        return FALSE;
    }
    fputs("OK\r\n", stdout);
    return TRUE;
}

int main(int argc, char** argv) {
    if (Usage_IsHelpRequest(argc, argv)) {
        Usage_Print();
        return EXIT_USAGE_SHOWN;
    }
    Platform_InitConsole();
    if (!allocateSharedBuffers()) {
        fputs("KestraneFwUpgrade: not enough memory for the upgrade's buffers\n", stderr);
        return EXIT_OUT_OF_MEMORY;
    }
    printf("\n\rYou are about to upload the firmware version %s", FIRMWARE_VERSION_TO_UPLOAD);
    fputs("\n\r\n\rDetecting COM port and Baud Rate..................", stdout);

    // The search and a manual open both start with CTS flow control off.
    ComPortAPI_SetHardwareFlowControl(FALSE);
    if (detectComPortAndBaudrate()) {
        fputs("OK\r\n", stdout);
        printf("COM PORT Number : %d", gComPortNumber);
        printf("\r\nBaud rate       : %d \r\n\r\n", gBaudRate);
    } else if (!setUpLinkByHand()) {
        releaseSharedBuffers();
        return EXIT_LINK_UNUSABLE;
    }
    ComPortAPI_SetHardwareFlowControl(TRUE);

    const BOOL upgraded = updateFirmware();
    ComPortAPI_CloseCOM();
    dipsplayLastMessageToUserBeforeExit(upgraded ? "" : "\n\rERROR: The update was not successful.\r\n");
    releaseSharedBuffers();
    return upgraded ? EXIT_UPGRADE_DONE : EXIT_UPGRADE_FAILED;
}
