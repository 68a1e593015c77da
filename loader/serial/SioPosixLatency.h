// Low latency on USB serial adapters: most hold received bytes up to 16 ms
// before passing them to the PC unless the port asks for low latency, and
// with one request and one answer per mail that would multiply a session's
// time. A real tty's driver is asked for ASYNC_LOW_LATENCY when it opens,
// best effort, and the flag is put back as it was when it closes. A driver
// that refuses is traced, never an error.
//
// The driver is reached through one call that is recorded, and that a test
// may answer in the driver's place: a real adapter cannot be plugged into
// the machines the tests run on.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct SerialInfoCall {
    bool set = false; // TIOCSSERIAL, else TIOCGSERIAL
    int flags = 0;    // the flags read, or those set
    bool refused = false;

    bool operator==(const SerialInfoCall&) const = default;
};

// Stands in for the driver: answers a get (set == false) by filling flags,
// a set by taking them; false refuses with errno set.
using SerialInfoDriver = bool (*)(int fd, bool set, int& flags);
void SetSerialInfoDriver(SerialInfoDriver driver); // nullptr: the real driver
std::vector<SerialInfoCall> TakeSerialInfoCalls();

void RequestLowLatency(int fd);
void RestoreLatency(int fd);

} // namespace platform
