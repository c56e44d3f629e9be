// The line settings of a terminal device, read with termios2 so that any speed shows.
// Kept apart because <asm/termbits.h> and <termios.h> cannot meet in one file.
#ifndef KESTRANE_LINE_SETTINGS_H
#define KESTRANE_LINE_SETTINGS_H

#include <cstdint>

struct LineSettings {
    uint32_t speed = 0;
    bool ctsFlow = false;
    bool rawEightNOne = false;
};

LineSettings lineSettingsOf(int fd);

#endif
