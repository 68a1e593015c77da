// Steps the monitor-start paths share, kept apart from the exported entry
// points in BootLoader.h.
#pragma once

#include <cstdint>

// Moves the PC's port to a new rate and drives the control lines again as
// after the open. The outcome is not checked: a failed change shows up in
// the next mail.
void ChangePcRate(uint32_t baudrate);
// Asks the running program for the working rate and follows it on the PC.
void MoveToWorkingRate(uint32_t baudrate);
// The ATmega path: search for the port, wake the resident boot loader, ask
// for its version and move it to the working rate. 0 or 1.
uint32_t StartAtmegaBootLoader(uint32_t comport, uint32_t busmode, uint32_t baudrate);
