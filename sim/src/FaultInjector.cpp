#include "FaultInjector.h"

#include "Primitives.h"

namespace vtarget {

FaultInjector::FaultInjector(const FaultOptions& options)
    : options_(options), random_(options.seed) {}

bool FaultInjector::Chance(double rate) {
    if (rate <= 0) {
        return false;
    }
    if (rate >= 1) {
        return true;
    }
    return std::uniform_real_distribution<double>(0, 1)(random_) < rate;
}

bool FaultInjector::PassByte(uint8_t& byte) {
    if (Chance(options_.dropRate)) {
        return false;
    }
    if (Chance(options_.corruptRate)) {
        byte ^= static_cast<uint8_t>(1u << (random_() % 8));
    }
    return true;
}

bool FaultInjector::SilentFor(uint64_t mailIndex) const {
    return options_.silentAfter >= 0 && mailIndex >= static_cast<uint64_t>(options_.silentAfter);
}

bool FaultInjector::RefuseConfirm() {
    ++confirms_;
    const bool every =
        options_.nakEvery > 0 && confirms_ % static_cast<uint64_t>(options_.nakEvery) == 0;
    return Chance(options_.nakRate) || every;
}

void FaultInjector::MaybeWrongPrimitive(std::vector<uint8_t>& payload) {
    if (payload.empty() || !Chance(options_.wrongPrimitiveRate)) {
        return;
    }
    // The next answer code, wrapping from the last back to the first.
    payload[0] = static_cast<uint8_t>(payload[0] % kLastPrimitive + 2);
}

} // namespace vtarget
