// The library's bus-mode word from ulvex's --bus, --dtr and --rts, the same
// for a session (flash) and for test mode (verify, read).
#pragma once

#include <cstdint>
#include <string>

namespace ulvex {

constexpr uint32_t kBusSingle = 1; // one wire: every byte sent comes back
constexpr uint32_t kBusDuplex = 2;
constexpr uint32_t kBusModeMask = 0x1F;
constexpr uint32_t kRaiseRts = 0x4000; // when the port opens
constexpr uint32_t kRaiseDtr = 0x8000;

inline uint32_t BusModeWord(const std::string& bus, bool dtr, bool rts) {
    return (bus == "single" ? kBusSingle : kBusDuplex) | (dtr ? kRaiseDtr : 0) |
           (rts ? kRaiseRts : 0);
}

} // namespace ulvex
