#include "frame/OpenFailures.h"

#include <map>
#include <mutex>

namespace {

// At most one entry per session id (65536), and only for sessions whose
// port failed.
std::mutex mutex;
std::map<uint16_t, OpenFailure> failures;

} // namespace

void PublishOpenFailure(uint16_t sessionId, const OpenFailure& failure) {
    const std::lock_guard lock(mutex);
    failures[sessionId] = failure;
}

bool FindOpenFailure(uint16_t sessionId, OpenFailure& failure) {
    const std::lock_guard lock(mutex);
    const auto found = failures.find(sessionId);
    if (found == failures.end()) {
        return false;
    }
    failure = found->second;
    return true;
}

void ForgetOpenFailure(uint16_t sessionId) {
    const std::lock_guard lock(mutex);
    failures.erase(sessionId);
}
