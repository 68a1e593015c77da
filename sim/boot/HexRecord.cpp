#include "boot/HexRecord.h"

namespace vtarget {

namespace {

// Count, two offset bytes, type; then data and the checksum.
constexpr size_t kFixedBytes = 4;

std::optional<uint8_t> HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> HexBytes(std::string_view digits) {
    if (digits.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (size_t i = 0; i < digits.size(); i += 2) {
        const auto high = HexDigit(digits[i]);
        const auto low = HexDigit(digits[i + 1]);
        if (!high || !low) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<uint8_t>(*high << 4 | *low));
    }
    return bytes;
}

} // namespace

std::optional<HexRecord> ParseHexRecord(std::string_view line) {
    if (line.empty() || line[0] != ':') {
        return std::nullopt;
    }
    const auto bytes = HexBytes(line.substr(1));
    if (!bytes || bytes->size() < kFixedBytes + 1 ||
        bytes->size() != kFixedBytes + (*bytes)[0] + 1) {
        return std::nullopt;
    }
    uint8_t sum = 0;
    for (uint8_t b : *bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    if (sum != 0) {
        return std::nullopt;
    }
    HexRecord record;
    record.offset = static_cast<uint16_t>((*bytes)[1] << 8 | (*bytes)[2]);
    record.type = (*bytes)[3];
    record.data.assign(bytes->begin() + kFixedBytes, bytes->end() - 1);
    return record;
}

} // namespace vtarget
