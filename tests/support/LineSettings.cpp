#include "LineSettings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

LineSettings lineSettingsOf(int fd) {
    LineSettings result;
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return result;
    result.speed = t.c_ospeed;
    result.ctsFlow = (t.c_cflag & CRTSCTS) != 0;
    const bool eightNOne = (t.c_cflag & CSIZE) == CS8 && !(t.c_cflag & (PARENB | CSTOPB));
    const bool local = (t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD);
    const bool raw = !(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) && !(t.c_oflag & OPOST) &&
                     !(t.c_iflag & (ICRNL | INLCR | IGNCR | IXON | IXOFF | ISTRIP));
    result.rawEightNOne = eightNOne && local && raw;
    return result;
}
