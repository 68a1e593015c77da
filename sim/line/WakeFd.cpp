#include "line/WakeFd.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace vtarget {

WakeFd::WakeFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

void WakeFd::Signal() {
    const uint64_t one = 1;
    // Only fails when the counter is about to overflow: it is readable then anyway.
    [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

} // namespace vtarget
