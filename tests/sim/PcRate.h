// Line rate and flow control of a serial device set the way a PC program
// does it, with termios2, so that any rate comes through and stays. Kept in
// a file of its own: the kernel's termios2 header cannot be included with
// <termios.h>.
#pragma once

#include <cstdint>

bool SetPortRate(int fd, uint32_t baudRate, bool twoStopBits);
// XON/XOFF output flow control (IXON): the line discipline stops sending
// on XOFF from the other end, goes on at XON, and keeps both from the reader.
bool SetPortXonXoff(int fd, bool on);
