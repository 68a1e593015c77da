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
    } else if (o.result == "not-verified" && o.programmed && LoadsWithoutVerifying(*target)) {
        o.ok = true;
        o.result = "loaded";
        o.detail = "the target type has no CRC to compare";
    }
    return o;
}

} // namespace ulvex
