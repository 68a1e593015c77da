// Line rate of a serial device set the way a PC program does it, with
// termios2, so that any rate comes through. Kept in a file of its own: the
// kernel's termios2 header cannot be included with <termios.h>.
#pragma once

#include <cstdint>

bool SetPortRate(int fd, uint32_t baudRate, bool twoStopBits);
