// The USB serial adapter between the board and the PC, as far as it delays
// what the board sends: such an adapter gathers the bytes it receives from
// the board into a USB packet and hands the packet to the PC once it is
// full or once its latency timer has run out since the first byte it holds.
#pragma once

#include "line/WireClock.h"

#include <optional>
#include <span>
#include <vector>

namespace vtarget {

// Payload of one full-speed bulk packet: 64 bytes, of which the adapter
// puts 2 modem status bytes in front of the data.
constexpr size_t kAdapterPacket = 62;

class AdapterHold {
  public:
    // A latency of 0 holds nothing.
    explicit AdapterHold(std::chrono::milliseconds latency) : latency_(latency) {}

    bool Holds() const { return latency_.count() > 0; }
    // Takes bytes that reach the adapter at now; returns the full packets,
    // which go to the PC at once. The rest stays held.
    std::vector<uint8_t> Take(std::span<const uint8_t> bytes, Clock::time_point now);
    // When the held bytes are due; nothing while none are held.
    std::optional<Clock::time_point> Deadline() const;
    // Everything held once its deadline has passed at now, else nothing.
    std::vector<uint8_t> Due(Clock::time_point now);

  private:
    std::chrono::milliseconds latency_;
    std::vector<uint8_t> held_;
    Clock::time_point firstHeldAt_{};
};

} // namespace vtarget
