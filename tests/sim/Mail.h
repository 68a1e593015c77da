// Request frames as the PC builds them and answers as it reads them, written
// here from the wire format, apart from the board's own code.
#pragma once

#include "PcPort.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

// A request payload, little-endian fields after the primitive code.
class Request {
  public:
    explicit Request(uint8_t primitive) : bytes_{primitive} {}
    Request& U8(uint8_t value);
    Request& U16(uint16_t value);
    Request& U32(uint32_t value);
    Request& Bytes(const std::vector<uint8_t>& data);
    operator const std::vector<uint8_t>&() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

std::vector<uint8_t> Frame(uint8_t sequence, const std::vector<uint8_t>& payload);

struct Answer {
    uint8_t sequence = 0;
    std::vector<uint8_t> payload;
    bool checksumOk = false;
};

// Reads one frame; nothing when no complete frame arrives in time.
std::optional<Answer> ReadAnswer(PcPort& port, std::chrono::milliseconds timeout);

uint16_t Le16At(const std::vector<uint8_t>& bytes, size_t at);
uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t at);
