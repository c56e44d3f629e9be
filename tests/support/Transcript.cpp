#include "Transcript.h"

#include <cstdio>

namespace transcript {

std::string banner() {
    return "\n\rYou are about to upload the firmware version 1.0.6"
           "\n\r\n\rDetecting COM port and Baud Rate..................";
}

std::string found(int port, int rate) {
    return "OK\r\nCOM PORT Number : " + std::to_string(port) + "\r\nBaud rate       : " + std::to_string(rate) +
           " \r\n\r\n";
}

std::string versionLines(const std::string& firmware, const std::string& fpga) {
    return "Checking firmware version ..............  " + firmware + " \r\n" +
           "Checking fpga version ..................  " + fpga + "\r\n";
}

std::string productTx() {
    return "Checking product .......... TX OK\r\nTavrix 6G SDI EXTENDER OVER FIBER TX\r\n>>\r\n";
}

std::string productRx() {
    return "Checking product .......... RX OK\r\nTavrix 6G SDI EXTENDER OVER FIBER RX\r\n>>\r\n";
}

std::string progress(int length) {
    std::string text = "1%";
    int sent = 0;
    int shown = 0;
    while (length - sent > 10240) {
        sent += 10240;
        text += shown < 10 ? "\b\b" : "\b\b\b";
        shown = static_cast<int>(static_cast<long long>(sent) * 100 / length);
        text += std::to_string(shown) + "%";
    }
    if (length > 0) text += std::string(shown < 10 ? "\b\b" : "\b\b\b") + "100%";
    return text;
}

std::string fpgaPhase(int length) {
    return "Preparing to Upload Programmable Logic ............ OK\r\n"
           "Sending Programmable Logic data ................... " +
           progress(length) + "OK\r\n";
}

std::string firmwarePhase(int length) {
    return "Preparing to Upload Firmware ...................... OK\r\n"
           "Sending data ...................................... " +
           progress(length);
}

std::string reboot(bool promptSeen) {
    std::string text = " OK\n\r\n\rPlease wait while the unit is rebooting ........... ";
    for (int i = 0; i < 46; ++i) {
        char step[8];
        snprintf(step, sizeof step, "%3d%%", i * 100 / 46);
        text += std::string(step) + "\b\b\b\b";
    }
    text += "100%\b\b\b\b100%";
    if (promptSeen) text += "\n\r\n\rThe update was successful, the unit is now operational\r\n";
    return text;
}

std::string endOk() { return "\r\nPress any key to exit"; }

std::string endFailed() { return "\n\rERROR: The update was not successful.\r\n\r\nPress any key to exit"; }

}  // namespace transcript
