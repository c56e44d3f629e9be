// Waiting until a port's output has left it. Apart from the rest of the serial device,
// whose termios2 definitions cannot meet <termios.h>.
#ifndef OUTPUT_DRAIN_H
#define OUTPUT_DRAIN_H

// Returns once every byte written to fd has been sent (at once on a pseudo-terminal,
// which keeps nothing pending); false when the device is gone.
bool drainOutput(int fd);

#endif
