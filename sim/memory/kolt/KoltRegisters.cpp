#include "memory/kolt/KoltRegisters.h"

#include <utility>

namespace vtarget {

void WordRegister::Read(uint32_t address, std::span<uint8_t> out) const {
    const uint16_t shown = Shown();
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<uint8_t>(shown >> (8 * (address - address_ + i)));
    }
}

void WordRegister::Write(uint32_t address, std::span<const uint8_t> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned shift = 8 * (address - address_ + static_cast<unsigned>(i));
        value_ = static_cast<uint16_t>((value_ & ~(0xFFu << shift)) | bytes[i] << shift);
    }
    log_.registerWrites.push_back({address_, value_});
    Stored(value_);
}

void RestartRegister::Stored(uint16_t value) {
    if (value == kRestartCommand) {
        restart_ = uint32_t{bootAddress_.Value()} << 12;
    }
}

IdentityBytes::IdentityBytes(const ChipIdentity& identity)
    : bytes_{static_cast<uint8_t>(identity.vdev[0]),
             static_cast<uint8_t>(identity.vdev[1]),
             static_cast<uint8_t>(identity.vdev[2]),
             identity.vconf,
             identity.vrev,
             identity.vmode} {}

void IdentityBytes::Read(uint32_t address, std::span<uint8_t> out) const {
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = bytes_[address - Start() + i];
    }
}

} // namespace vtarget
