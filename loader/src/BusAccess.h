// Access port of the calling thread: opening in a bus mode, control lines,
// raw bytes and the mail transport.
#pragma once

#include <cstdint>

// Releases the control lines the library raised and closes the port.
// Returns 1.
uint32_t CloseAccessPort();
