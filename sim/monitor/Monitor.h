// The monitor program running on the board: answers each request mail
// over a memory model. It knows nothing of the line; the board hands it
// the payloads of frames that arrived intact, with the memory locked.
#pragma once

#include "memory/MemoryModel.h"
#include "memory/atmega/AtmegaAddressing.h"
#include "monitor/RateStep.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vtarget {

struct MonitorSettings {
    int targetType = 0;
    uint16_t flashManufacturer = 0x0001;
    uint16_t flashDevice = 0x2249;
    uint32_t version = 0x00010000;
    // The move to 9600 baud this target's monitor makes on the PC's cue.
    RateStep rateStep = RateStep::None;
    // Longest checksum or CRC range; longer requests are dropped so that a
    // hostile mail cannot keep the board busy for long.
    uint64_t maxRange = 256u << 20;
};

struct MonitorOutcome {
    std::optional<std::vector<uint8_t>> answer; // payload; none for SET_CONFIG
    std::optional<uint32_t> newBaudRate;        // to expect once the answer has left
};

class Monitor {
  public:
    explicit Monitor(const MonitorSettings& settings);

    // Whether the payload is a request this monitor handles: a known odd
    // code, long enough for its parameters, within the answer size and
    // range limits. Others are dropped unanswered, as a real monitor does.
    bool Accepts(std::span<const uint8_t> payload) const;

    // Carries out an accepted request. With refuse, a request answered by a
    // status gets status 0 and changes nothing.
    // Some monitors then move to 9600 baud (see RateStep).
    MonitorOutcome Execute(MemoryModel& memory, std::span<const uint8_t> payload, bool refuse);

    uint32_t ConfigWord() const { return config_; }
    std::optional<uint32_t> StartAddress() const { return startAddress_; }

  private:
    struct Shape {
        size_t fixed; // code and fixed parameters
        size_t unit;  // bytes per counted item after them; 0: no counted data
    };
    std::optional<Shape> ShapeOf(uint8_t code) const;
    bool WithinLimits(std::span<const uint8_t> payload) const;
    MonitorOutcome Carry(MemoryModel& memory, std::span<const uint8_t> payload);
    bool StepsRate(std::span<const uint8_t> payload) const;

    static MonitorOutcome ReadMemory(const MemoryModel& memory, std::span<const uint8_t> payload);
    static MonitorOutcome WriteMemory(MemoryModel& memory, std::span<const uint8_t> payload);
    MonitorOutcome Program(MemoryModel& memory, ProgramPath path,
                           std::span<const uint8_t> payload) const;
    static MonitorOutcome Erase(MemoryModel& memory, EraseScope scope,
                                std::span<const uint8_t> payload);
    MonitorOutcome FlashType() const;
    static MonitorOutcome Checksum(const MemoryModel& memory, std::span<const uint8_t> payload);
    MonitorOutcome Crc32(const MemoryModel& memory, std::span<const uint8_t> payload) const;
    // The bytes a CRC request covers.
    ByteRun CrcBytes(std::span<const uint8_t> payload) const;
    // Whether the monitor works in 16-bit words: it programs words, and its
    // CRC covers the whole word at the last address (the ATmega's CRC has a
    // rule of its own).
    bool CountsInWords() const;
    MonitorOutcome SetConfig(std::span<const uint8_t> payload);
    MonitorOutcome SetProgCmdAddresses(MemoryModel& memory, std::span<const uint8_t> payload);
    MonitorOutcome GoFromAddress(std::span<const uint8_t> payload);
    MonitorOutcome SetBaudRate(std::span<const uint8_t> payload);
    MonitorOutcome Version() const;

    MonitorSettings settings_;
    uint32_t config_ = 0;
    std::array<uint32_t, 3> progCmdAddresses_{};
    std::optional<uint32_t> startAddress_;
};

} // namespace vtarget
