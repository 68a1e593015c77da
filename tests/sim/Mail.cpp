#include "Mail.h"

Request& Request::U8(uint8_t value) {
    bytes_.push_back(value);
    return *this;
}

Request& Request::U16(uint16_t value) {
    return U8(static_cast<uint8_t>(value)).U8(static_cast<uint8_t>(value >> 8));
}

Request& Request::U32(uint32_t value) {
    return U16(static_cast<uint16_t>(value)).U16(static_cast<uint16_t>(value >> 16));
}

Request& Request::Bytes(const std::vector<uint8_t>& data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

std::vector<uint8_t> Frame(uint8_t sequence, const std::vector<uint8_t>& payload) {
    const size_t length = payload.size() + 3;
    std::vector<uint8_t> frame = {
        0x10, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF), sequence, 0,
        0};
    uint8_t sum = sequence;
    for (uint8_t b : payload) {
        frame.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    frame.push_back(sum);
    return frame;
}

std::optional<Answer> ReadAnswer(PcPort& port, std::chrono::milliseconds timeout) {
    const auto head = port.Read(3, timeout);
    if (head.size() < 3 || head[0] != 0x10) {
        return std::nullopt;
    }
    const size_t length = static_cast<size_t>(head[1]) << 8 | head[2];
    if (length < 3) {
        return std::nullopt;
    }
    const auto body = port.Read(length + 1, timeout);
    if (body.size() < length + 1) {
        return std::nullopt;
    }
    Answer answer;
    answer.sequence = body[0];
    answer.payload.assign(body.begin() + 3, body.end() - 1);
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) {
        sum = static_cast<uint8_t>(sum + body[i]);
    }
    answer.checksumOk = sum == body.back();
    return answer;
}

uint16_t Le16At(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes.at(at) | bytes.at(at + 1) << 8);
}

uint32_t Le32At(const std::vector<uint8_t>& bytes, size_t at) {
    return Le16At(bytes, at) | static_cast<uint32_t>(Le16At(bytes, at + 2)) << 16;
}
