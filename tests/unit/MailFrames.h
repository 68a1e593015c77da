// Mail frames built by hand for tests, independently of the transport.
#pragma once

#include <cstdint>
#include <vector>

namespace testframes {

// The frame around a payload: start byte, length, sequence, two reserved
// bytes, the payload and the checksum over sequence to payload.
inline std::vector<uint8_t> Frame(uint8_t sequence, const std::vector<uint8_t>& payload) {
    const size_t length = payload.size() + 3;
    std::vector<uint8_t> f;
    f.reserve(length + 4);
    for (uint8_t b : {uint8_t{0x10}, static_cast<uint8_t>(length >> 8),
                      static_cast<uint8_t>(length), sequence, uint8_t{0}, uint8_t{0}}) {
        f.push_back(b);
    }
    for (uint8_t b : payload) {
        f.push_back(b);
    }
    uint8_t sum = 0;
    for (size_t i = 3; i < f.size(); ++i) {
        sum = static_cast<uint8_t>(sum + f[i]);
    }
    f.push_back(sum);
    return f;
}

} // namespace testframes
