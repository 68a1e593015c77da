#include "line/FaultInjector.h"

namespace vtarget {

namespace {

std::mt19937_64 Stream(uint64_t seed, uint32_t stream) {
    std::seed_seq sequence{static_cast<uint32_t>(seed), static_cast<uint32_t>(seed >> 32), stream};
    return std::mt19937_64(sequence);
}

} // namespace

FaultInjector::FaultInjector(const FaultOptions& options)
    : options_(options), incoming_(Stream(options.seed, 1)), outgoing_(Stream(options.seed, 2)),
      monitor_(Stream(options.seed, 3)) {}

bool FaultInjector::Chance(std::mt19937_64& random, double rate) {
    if (rate <= 0) {
        return false;
    }
    if (rate >= 1) {
        return true;
    }
    return std::uniform_real_distribution<double>(0, 1)(random) < rate;
}

bool FaultInjector::PassByte(std::mt19937_64& random, uint8_t& byte) {
    if (Chance(random, options_.dropRate)) {
        return false;
    }
    if (Chance(random, options_.corruptRate)) {
        byte ^= static_cast<uint8_t>(1u << (random() % 8));
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
    return Chance(monitor_, options_.nakRate) || every;
}

bool FaultInjector::WrongPrimitive() {
    return Chance(monitor_, options_.wrongPrimitiveRate);
}

} // namespace vtarget
