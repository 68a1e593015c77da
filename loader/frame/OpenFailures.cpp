#include "frame/OpenFailures.h"

#include <map>
#include <mutex>

namespace {

// At most one entry per session id (65536), and only for sessions whose
// port failed. Never destroyed: a session worker may still note a failure
// while the process exits.
struct Store {
    std::mutex mutex;
    std::map<uint16_t, OpenFailure> failures;
};

Store& Failures() {
    static auto* store = new Store;
    return *store;
}

} // namespace

void PublishOpenFailure(uint16_t sessionId, const OpenFailure& failure) {
    Store& s = Failures();
    const std::lock_guard lock(s.mutex);
    s.failures[sessionId] = failure;
}

bool FindOpenFailure(uint16_t sessionId, OpenFailure& failure) {
    Store& s = Failures();
    const std::lock_guard lock(s.mutex);
    const auto found = s.failures.find(sessionId);
    if (found == s.failures.end()) {
        return false;
    }
    failure = found->second;
    return true;
}

void ForgetOpenFailure(uint16_t sessionId) {
    Store& s = Failures();
    const std::lock_guard lock(s.mutex);
    s.failures.erase(sessionId);
}
