// Ctrl-C during a run: the signals that end a run are taken by one thread
// of their own, which tells the waiting command, so that ulvex can say
// which boards were interrupted where before it leaves with 130.
#pragma once

#include <functional>

namespace ulvex {

// Blocks SIGINT, SIGTERM and SIGHUP in the calling thread, and so in every
// thread it starts later (the library's session threads too), and starts
// the thread that waits for them and calls `interrupted` once.
void CatchInterrupts(std::function<void()> interrupted);

} // namespace ulvex
