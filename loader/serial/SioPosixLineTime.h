// How long bytes written to a port spend on its line, for the ports that
// have no transmitter to drain (pseudo-terminals). What it takes to know
// (the device kind, the rate, the stop bits) is kept for the port last
// asked about on this thread, since each port belongs to one thread, and
// forgotten whenever a port is opened, closed or set up anew: a write then
// costs no system calls beyond its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace platform {

// Whether the descriptor is the slave of a pseudo-terminal.
bool IsPseudoTerminal(int fd);

// Line time of count bytes on a pseudo-terminal; nothing for a real port.
std::optional<std::chrono::microseconds> PseudoLineTime(int fd, uint32_t count);
void ForgetLineTime();

} // namespace platform
