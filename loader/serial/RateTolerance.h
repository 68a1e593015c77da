// How far a port's actual rate may be from the one asked for: a driver (or
// a port server) may round an odd rate, and a rate this close still talks
// to the target. Farther off, every later exchange would fail obscurely,
// so setting the rate fails instead.
#pragma once

#include <cstdint>

constexpr uint32_t kRateTolerancePercent = 3;

constexpr bool RateClose(uint32_t wanted, uint32_t actual) {
    const uint64_t diff = wanted > actual ? wanted - actual : actual - wanted;
    return diff * 100 <= uint64_t{wanted} * kRateTolerancePercent;
}
