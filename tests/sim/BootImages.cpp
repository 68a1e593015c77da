#include "BootImages.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

namespace {

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

std::string Record(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data, bool corrupt) {
    std::vector<uint8_t> bytes{static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
                               static_cast<uint8_t>(offset), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    bytes.push_back(static_cast<uint8_t>(-sum + (corrupt ? 1 : 0)));
    std::string line = ":";
    for (uint8_t b : bytes) {
        char digits[3];
        snprintf(digits, sizeof digits, "%02X", b);
        line += digits;
    }
    return line + "\r\n";
}

} // namespace

std::vector<uint8_t> MonitorImage(uint8_t kind, uint32_t size, int64_t declaredSize) {
    std::vector<uint8_t> image{'U', 'V', 'X', 'M', kind, 1, 0, 0};
    PutLe32(image, declaredSize < 0 ? size : static_cast<uint32_t>(declaredSize));
    PutLe32(image, 0x7E57);
    for (uint32_t i = static_cast<uint32_t>(image.size()); i < size; ++i) {
        image.push_back(static_cast<uint8_t>(i * 13 + kind));
    }
    image.resize(size);
    return image;
}

uint8_t XorOf(const std::vector<uint8_t>& bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum ^= b;
    }
    return sum;
}

std::string HexText(const std::vector<uint8_t>& data, uint32_t base, int corruptRecord) {
    int index = 0;
    std::string text =
        Record(4, 0, {static_cast<uint8_t>(base >> 24), static_cast<uint8_t>(base >> 16)},
               index++ == corruptRecord);
    for (size_t at = 0; at < data.size(); at += 16) {
        const size_t end = std::min(data.size(), at + 16);
        const std::vector<uint8_t> chunk(data.begin() + static_cast<ptrdiff_t>(at),
                                         data.begin() + static_cast<ptrdiff_t>(end));
        text += Record(0, static_cast<uint16_t>(base + at), chunk, index++ == corruptRecord);
    }
    return text + Record(1, 0, {}, index == corruptRecord);
}

std::vector<uint8_t> BytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}
