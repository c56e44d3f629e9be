// The upgrade: identification, then the FPGA configuration and the microcontroller
// firmware uploaded the same way, then the wait for the unit's reboot.
#include <cstdio>
#include <cstring>

#include "ComPortAPI.h"
#include "KestraneFwUpgrade.h"
#include "Platform.h"

#define UPLOAD_BAUD_RATE 115200
#define TRANSFER_TIMEOUT_MS 1000
#define PROMPT_READ_TIMEOUT_MS 11000
#define REBOOT_STEPS 46
#define REBOOT_STEP_MS 3000

struct UploadPhase {
    const char* invalidImageLine;
    const char* preparingLabel;
    const char* commandHead;
    int readyTimeoutMs;
    const char* sendingLabel;
};

static const UploadPhase kProgrammableLogic = {
    "\r\nERROR: Programmable Logic data is not valid !\r\n",
    "Preparing to Upload Programmable Logic ............ ",
    "%fw -l ",
    10000,
    "Sending Programmable Logic data ................... ",
};

static const UploadPhase kFirmware = {
    "\r\nERROR: uC Firmware data is not valid !\r\n",
    "Preparing to Upload Firmware ...................... ",
    "%fw -h ",
    5000,
    "Sending data ...................................... ",
};

// Assembles the text, announces checksum and length, waits for "Ready" and streams the
// image at 115200 baud. The rate stays at 115200 afterwards.
static BOOL uploadImage(char* hexText, const UploadPhase& phase) {
    if (!ValidateFwAndConcatenateData(hexText)) {
        fputs(phase.invalidImageLine, stdout);
        return FALSE;
    }
    fputs(phase.preparingLabel, stdout);
    gDataConcatenatedCheckSum = imageChecksum(gDataConcatenated, gDataConcatenatedLenght);
    char commandToSend[100];
    snprintf(commandToSend, sizeof commandToSend, "%s%u %d", phase.commandHead, gDataConcatenatedCheckSum,
             gDataConcatenatedLenght);
    ComPortAPI_SetReadingTimeoutInMs(phase.readyTimeoutMs);
    if (!sendCommand(commandToSend, FALSE, TRUE, "Ready")) {
        fputs("FAILED [Unit not ready]\r\n", stdout);
        return FALSE;
    }
    fputs("OK\r\n", stdout);
    fputs(phase.sendingLabel, stdout);
    ComPortAPI_SetBaudRate(UPLOAD_BAUD_RATE);
    ComPortAPI_SetReadingTimeoutInMs(TRANSFER_TIMEOUT_MS);
    fflush(stdout);
    if (!sendData(gDataConcatenated, gDataConcatenatedLenght, TRUE, "SUCCESS")) {
        fputs("FAILED\r\n", stdout);
        return FALSE;
    }
    return TRUE;
}

// A unit that has rebooted prints its prompt: a text that begins with '[' and ends ">>".
static bool isPrompt(const char* text) {
    const size_t length = strlen(text);
    return length >= 2 && text[0] == '[' && text[length - 2] == '>' && text[length - 1] == '>';
}

static void waitForReboot() {
    ComPortAPI_SetBaudRate(gBaudRate);
    fputs(" OK\n\r\n\r", stdout);
    fputs("Please wait while the unit is rebooting ........... ", stdout);
    const int max_cnt = REBOOT_STEPS;
    for (int i = 0; i < max_cnt; ++i) {
        printf("%3d%%", i * 100 / max_cnt);
        Platform_SleepMs(REBOOT_STEP_MS);
        fputs("\b\b\b\b", stdout);
    }
    printf("%3d%%", max_cnt * 100 / max_cnt);
    fflush(stdout);

    // The first read takes whatever the unit printed while it booted; only what comes
    // after it is looked at.
    int nBytesRead = 0;
    ComPortAPI_ReadCOM(gDataBuffer, DATA_BUFFER_SIZE - 1, &nBytesRead);
    ComPortAPI_SetReadingTimeoutInMs(PROMPT_READ_TIMEOUT_MS);
    ComPortAPI_ReadCOM(gDataBuffer, DATA_BUFFER_SIZE - 1, &nBytesRead);
    gDataBuffer[nBytesRead] = '\0';
    fputs("\b\b\b\b", stdout);
    fputs("100%", stdout);
    if (isPrompt(gDataBuffer)) fputs("\n\r\n\rThe update was successful, the unit is now operational\r\n", stdout);
}

BOOL updateFirmware() {
    if (!identifyUnit()) return FALSE;
    if (!uploadImage(gHexFPGA_Code, kProgrammableLogic)) return FALSE;
    fputs("OK\r\n", stdout);
    if (!uploadImage(gHexFirmware, kFirmware)) return FALSE;
    waitForReboot();
    return TRUE;
}
