#include "LineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

uint32_t lineSpeedOf(int fd) {
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
    return settings.c_ospeed;
}
