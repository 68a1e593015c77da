// The line settings the PC side gave the pseudo-terminal, read and set with
// termios2 so that any rate, not only the standard ones, comes through.
// Kept apart from Pty.cpp: the kernel's termios2 header cannot be included
// together with the C library's termios header.
#pragma once

#include <cstdint>

namespace vtarget {

struct LineSettings {
    uint32_t baudRate = 0;
    bool twoStopBits = false;
    // IXON on the PC side: its line discipline stops sending on XOFF from
    // the board and goes on at XON, and the PC never reads the two.
    bool xonXoffOutput = false;
};

// On Linux the master and the slave of a pty share one termios, so either
// descriptor reads what the PC set on the slave.
bool ReadLineSettings(int fd, LineSettings& settings);
bool SetLineRate(int fd, uint32_t baudRate);

} // namespace vtarget
