// Fault injection for the platform calls of the library. Each wrapper of an
// operating-system call asks FaultFires() first; tests arm a fault so that
// the Nth call from now fails, once or for good, and so exercise every
// failure path the library handles instead of only writing it.
#pragma once

#include <cstdint>

enum class Fault : uint8_t {
    ThreadStart, // starting a session worker
    LogCreate,   // creating a session or test-mode log file
    Count
};

// The nth call from now (1 = the next) fails; with forever, every later call too.
void ArmFault(Fault fault, uint32_t nth, bool forever = false);
void DisarmFaults();

// True when this call of the wrapped operation is to fail.
bool FaultFires(Fault fault);
