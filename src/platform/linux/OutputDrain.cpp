#include "OutputDrain.h"

#include <termios.h>

#include <cerrno>

bool drainOutput(int fd) {
    while (tcdrain(fd) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}
