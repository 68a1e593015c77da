#include "line/PollUntil.h"

#include <algorithm>
#include <ctime>

namespace vtarget {

namespace {

// Long waits are cut into pieces; the caller loops on its deadline anyway.
constexpr auto kLongestWait = std::chrono::seconds(60);

} // namespace

int PollUntil(pollfd* fds, nfds_t count, std::optional<Clock::time_point> deadline) {
    if (!deadline) {
        return ppoll(fds, count, nullptr, nullptr);
    }
    const auto left = std::clamp<Clock::duration>(*deadline - Clock::now(), Clock::duration::zero(),
                                                  kLongestWait);
    const auto seconds = std::chrono::floor<std::chrono::seconds>(left);
    const timespec timeout{static_cast<time_t>(seconds.count()),
                           static_cast<long>(std::chrono::nanoseconds(left - seconds).count())};
    return ppoll(fds, count, &timeout, nullptr);
}

} // namespace vtarget
