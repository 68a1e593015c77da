#include "FlashRun.h"

#include "PortMapping.h"

namespace ulvex {

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
