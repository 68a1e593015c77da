// poll() up to a deadline at the clock's own resolution. Millisecond
// time-outs would let every timed byte and answer of the board arrive up
// to a millisecond late, which at high rates is longer than a whole frame.
#pragma once

#include "line/RxByte.h"

#include <optional>
#include <poll.h>

namespace vtarget {

// Like poll(); no deadline waits for ever, a passed one does not wait.
int PollUntil(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline);

} // namespace vtarget
