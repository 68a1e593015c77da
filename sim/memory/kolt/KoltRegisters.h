// The 16-bit control registers of a KOLT chip and its identity bytes.
#pragma once

#include "memory/KoltLog.h"
#include "memory/MappedPart.h"
#include "memory/kolt/KoltChips.h"

#include <optional>
#include <utility>

namespace vtarget {

// Control register addresses.
constexpr uint32_t kBusConfigRegister = 0xFFE110;
constexpr uint32_t kBusTiming1Register = 0xFFE116;
constexpr uint32_t kBusTiming2Register = 0xFFE118;
constexpr uint32_t kFlashConfigRegister = 0xFFE124;
constexpr uint32_t kBootAddressRegister = 0xFFE20A; // image start >> 12
constexpr uint32_t kRestartRegister = 0xFFE108;
constexpr uint16_t kRestartCommand = 0x0080;

// A 16-bit register that takes byte and word writes, little-endian, and
// logs the value after each write.
class WordRegister : public MappedPart {
  public:
    WordRegister(uint32_t address, uint16_t resetValue, KoltLog& log)
        : address_(address), value_(resetValue), log_(log) {}

    uint32_t Start() const override { return address_; }
    uint32_t Size() const override { return 2; }
    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t address, std::span<const uint8_t> bytes) override;

    uint16_t Value() const { return value_; }

  protected:
    // What reads return; the stored value unless a register adds state bits.
    virtual uint16_t Shown() const { return value_; }
    virtual void Stored(uint16_t /*value*/) {}

  private:
    uint32_t address_;
    uint16_t value_;
    KoltLog& log_;
};

// Writing 0x0080 restarts the chip from the image whose start address,
// shifted right by 12, is in the boot address register.
class RestartRegister final : public WordRegister {
  public:
    RestartRegister(const WordRegister& bootAddress, KoltLog& log)
        : WordRegister(kRestartRegister, 0x0000, log), bootAddress_(bootAddress) {}

    std::optional<uint32_t> TakeRestart() { return std::exchange(restart_, std::nullopt); }

  private:
    uint16_t Shown() const override { return 0; }
    void Stored(uint16_t value) override;

    const WordRegister& bootAddress_;
    std::optional<uint32_t> restart_;
};

// VDEV, VCONF, VREV and VMODE at 0xFFFFFA..0xFFFFFF; read only.
class IdentityBytes final : public MappedPart {
  public:
    explicit IdentityBytes(const ChipIdentity& identity);

    uint32_t Start() const override { return 0xFFFFFA; }
    uint32_t Size() const override { return 6; }
    void Read(uint32_t address, std::span<uint8_t> out) const override;
    void Write(uint32_t, std::span<const uint8_t>) override {}

  private:
    std::array<uint8_t, 6> bytes_;
};

} // namespace vtarget
