#include "ImageRecorder.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

static const char kAnnouncedFile[] = "/announced.txt";

bool ImageRecorder::open(const std::string& dir, std::string& error) {
    if (dir.empty()) return true;
    const std::string path = dir + kAnnouncedFile;
    FILE* file = fopen(path.c_str(), "w");
    if (!file) {
        error = "cannot write in the save directory " + dir + ": " + strerror(errno);
        return false;
    }
    fclose(file);
    dir_ = dir;
    return true;
}

void ImageRecorder::record(char kind, uint32_t announcedChecksum, uint32_t announcedLength,
                           const std::string& bytes, uint32_t count, uint32_t receivedChecksum,
                           const char* verdict) {
    if (dir_.empty()) return;
    const std::string imagePath = dir_ + (kind == 'l' ? "/fpga.bin" : "/mcu.bin");
    FILE* image = fopen(imagePath.c_str(), "wb");
    if (image) {
        if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), image) != bytes.size()) {
            fprintf(stderr, "unit-sim: could not write %s: %s\n", imagePath.c_str(), strerror(errno));
        }
        fclose(image);
    } else {
        fprintf(stderr, "unit-sim: could not write %s: %s\n", imagePath.c_str(), strerror(errno));
    }
    FILE* announced = fopen((dir_ + kAnnouncedFile).c_str(), "a");
    if (!announced) {
        fprintf(stderr, "unit-sim: could not append to %s%s: %s\n", dir_.c_str(), kAnnouncedFile, strerror(errno));
        return;
    }
    fprintf(announced, "%c %" PRIu32 " %" PRIu32 " %" PRIu32 " %" PRIu32 " %s\n", kind, announcedChecksum,
            announcedLength, count, receivedChecksum, verdict);
    fclose(announced);
}
