// The speed the tool has set on the line. Kept apart because <asm/termbits.h>, which can
// show any speed, and <termios.h> cannot meet in one file.
#ifndef UNIT_SIM_LINE_SPEED_H
#define UNIT_SIM_LINE_SPEED_H

#include <cstdint>

// The output speed of the terminal behind fd in bits per second; 0 when it cannot be read.
uint32_t lineSpeedOf(int fd);

#endif
