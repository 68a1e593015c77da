#include "FlashRun.h"

#include <ulvex_open_failure.h>

namespace ulvex {

namespace {

// The reason the library kept for a port that did not open.
std::string OpenFailureOf(uint16_t session) {
    UlvexOpenFailure failure;
    if (ULVEX_GetLastOpenFailure(session, &failure) == 0) {
        return "";
    }
    return std::string(failure.tried) + ": " + failure.reason;
}

} // namespace

Outcome Board::Result() const {
    Outcome o = tracker.Result();
    if (!checkFailure.empty()) {
        o.result = "port-error";
        o.detail = checkFailure;
    } else if (!startFailure.empty()) {
        o.result = "not-started";
        o.detail = startFailure;
    } else if (!tracker.Stopped()) {
        o.detail = "interrupted while " + progress.Stage() +
                   (progress.Tenths() >= 0
                        ? " (" + std::to_string(static_cast<int>(progress.Fraction() * 100)) + " %)"
                        : "");
    } else if (o.result == "port-error") {
        o.detail = OpenFailureOf(session);
    }
    return o;
}

} // namespace ulvex
