// Fault injection for the platform calls of the library. Each wrapper of an
// operating-system call asks FaultFires() first; tests arm a fault so that
// the Nth call from now fails, once or for good, and so exercise every
// failure path the library handles instead of only writing it.
#pragma once

#include <cstdint>
#include <vector>

enum class Fault : uint8_t {
    ThreadStart,     // starting a session worker
    LogCreate,       // creating a session or test-mode log file
    PortOpen,        // opening a serial device
    PortQueues,      // setting the driver queue sizes
    PortGetState,    // reading the line settings
    PortSetState,    // applying the line settings
    PortBuildState,  // building line settings from a mode text
    PortSetTimeouts, // applying the read and write time-outs
    PortGetTimeouts, // reading the time-outs back
    PortPurge,       // clearing the driver buffers
    PortClearErrors, // clearing the line error state
    PortEscape,      // raising or dropping DTR, RTS or BREAK
    PortWrite,       // writing bytes
    PortRead,        // reading bytes
    PortWait,        // waiting for the port to become readable
    PortClose,       // closing the device
    ThreadPriority,  // setting the calling thread's priority
    ProcessPriority, // setting the process priority class
    Count
};

// The nth call from now (1 = the next) fails; with forever, every later call too.
void ArmFault(Fault fault, uint32_t nth, bool forever = false);
void DisarmFaults();

// True when this call of the wrapped operation is to fail.
bool FaultFires(Fault fault);

// Line escape codes the serial driver passed to the platform, oldest first,
// whether or not the platform carried them out. A pseudo-terminal has no
// modem lines, so tests see what the library did to the lines here.
void RecordEscapeCall(uint32_t code);
std::vector<uint32_t> TakeEscapeCalls();
