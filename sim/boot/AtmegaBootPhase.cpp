#include "boot/AtmegaBootPhase.h"

#include <algorithm>
#include <array>

namespace vtarget {

namespace {

// The payload of the mail the PC wakes the boot loader with, and the byte
// by which the boot loader says it runs.
constexpr std::array<uint8_t, 4> kWakePayload = {0x5D, 0x00, 0x00, 0x00};
constexpr uint8_t kAwake = 0x02;

} // namespace

std::optional<std::vector<uint8_t>>
AtmegaBootPhase::OwnAnswer(std::span<const uint8_t> payload) const {
    if (!std::ranges::equal(payload, kWakePayload)) {
        return std::nullopt;
    }
    return std::vector<uint8_t>{kAwake};
}

} // namespace vtarget
