#include "boot/BootTable.h"

#include "MonitorFormat.h"

#include <array>

namespace vtarget {

namespace {

constexpr BootEntry Chip(uint32_t rate, uint8_t kind, RateStep step = RateStep::None) {
    return {BootProtocol::Chip, rate, kind, step};
}

constexpr BootEntry Arm(uint8_t kind) {
    return {BootProtocol::Arm, 115200, kind, RateStep::None};
}

// Type 15 gets no monitor but a user file through the same ROM; a kind-7
// monitor still runs if one comes.
constexpr BootEntry kMl675001{BootProtocol::Ml675001Rom, 115200, monitors::kMl675001Kind,
                              RateStep::None};
constexpr BootEntry kAtmega{BootProtocol::AtmegaResident, 115200, 0, RateStep::None};
constexpr RateStep kByRegister = RateStep::ClockRegisterWrite;
constexpr RateStep kBySetConfig = RateStep::SetConfig;

// Indexed by target type.
constexpr std::array<BootEntry, 24> kBootTable = {
    Chip(9600, 0),                // 0
    Chip(9600, 0),                // 1
    Chip(9600, 0),                // 2
    Chip(9600, 1),                // 3
    Chip(9600, 1),                // 4
    Chip(8600, 0, kByRegister),   // 5
    Chip(8600, 0, kByRegister),   // 6
    Chip(8600, 0, kByRegister),   // 7
    Chip(8600, 1),                // 8
    Chip(8600, 1),                // 9
    kAtmega,                      // 10
    Chip(9600, 2),                // 11
    Chip(9600, 2),                // 12
    Chip(9600, 0),                // 13
    kMl675001,                    // 14
    kMl675001,                    // 15
    Chip(9600, 1),                // 16
    kAtmega,                      // 17
    Arm(3),                       // 18
    Chip(9600, 4),                // 19
    Chip(11520, 5, kBySetConfig), // 20
    Chip(11520, 5, kBySetConfig), // 21
    Arm(6),                       // 22
    Chip(11520, 5, kBySetConfig), // 23
};

} // namespace

std::optional<BootEntry> BootEntryOf(int targetType) {
    if (targetType < 0 || static_cast<size_t>(targetType) >= kBootTable.size()) {
        return std::nullopt;
    }
    return kBootTable[static_cast<size_t>(targetType)];
}

} // namespace vtarget
