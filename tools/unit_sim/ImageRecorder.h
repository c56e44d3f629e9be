// What the unit received in each upload (--save DIR): the image bytes as they came and one
// line per upload in announced.txt, so that a test can compare them with the flat images.
#ifndef UNIT_SIM_IMAGE_RECORDER_H
#define UNIT_SIM_IMAGE_RECORDER_H

#include <cstdint>
#include <string>

class ImageRecorder {
public:
    // An empty directory keeps the recorder off. Starts announced.txt afresh.
    bool open(const std::string& dir, std::string& error);
    bool enabled() const { return !dir_.empty(); }

    // kind 'l' (the FPGA image, fpga.bin) or 'h' (the microcontroller image, mcu.bin).
    void record(char kind, uint32_t announcedChecksum, uint32_t announcedLength, const std::string& bytes,
                uint32_t count, uint32_t receivedChecksum, const char* verdict);

private:
    std::string dir_;
};

#endif
