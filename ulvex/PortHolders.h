// The processes that hold a device: those with it open, found through
// /proc/PID/fd, and the one with a flock on its node, from /proc/locks.
// A user who is not root sees the open descriptors of their own processes
// only; /proc/locks is readable by everyone.
#pragma once

#include <string>
#include <sys/stat.h>
#include <vector>

namespace ulvex {

struct PortHolder {
    int pid = 0;
    std::string name{}; // from /proc/PID/comm; "" when it no longer tells
};

// The processes other than this one with the character device of `device`
// open, in the order of their pids.
std::vector<PortHolder> OpenHolders(const struct stat& device);

// The process holding a flock on the node `node` (pid 0: none found).
PortHolder FlockHolder(const struct stat& node);

// Both of the above, each process once, in the order of their pids.
std::vector<PortHolder> PortHolders(const struct stat& device);

// "PID (NAME)", or "process PID or a child of it" without a name: a lock
// outlives its taker in the children that inherited it.
std::string Describe(const PortHolder& holder);

} // namespace ulvex
