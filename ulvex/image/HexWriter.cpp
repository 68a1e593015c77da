// Intel HEX records of a memory image: data records of up to 32 bytes that
// never cross a 64 KiB boundary, each preceded by a type 04 record when its
// upper 16 address bits differ from the last one's.
#include "image/ImageFile.h"

#include <algorithm>

namespace ulvex {

namespace {

constexpr size_t kBytesPerRecord = 32;
constexpr uint8_t kData = 0x00;
constexpr uint8_t kEnd = 0x01;
constexpr uint8_t kExtendedLinear = 0x04;

void AppendRecord(std::string& out, uint8_t type, uint16_t address, const uint8_t* data,
                  size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    uint8_t sum = 0;
    const auto put = [&](uint8_t byte) {
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
        sum = static_cast<uint8_t>(sum + byte);
    };
    out += ':';
    put(static_cast<uint8_t>(count));
    put(static_cast<uint8_t>(address >> 8));
    put(static_cast<uint8_t>(address & 0xFF));
    put(type);
    for (size_t i = 0; i < count; ++i) {
        put(data[i]);
    }
    const uint8_t checksum = static_cast<uint8_t>(0x100 - sum);
    put(checksum);
    out += '\n';
}

} // namespace

std::string WriteHex(const MemoryImage& image) {
    std::string out;
    bool haveUpper = false;
    uint16_t upper = 0;
    for (const Segment& segment : image.segments) {
        size_t done = 0;
        while (done < segment.bytes.size()) {
            const uint32_t address = segment.address + static_cast<uint32_t>(done);
            const auto high = static_cast<uint16_t>(address >> 16);
            if (!haveUpper || high != upper) {
                const uint8_t data[2] = {static_cast<uint8_t>(high >> 8),
                                         static_cast<uint8_t>(high & 0xFF)};
                AppendRecord(out, kExtendedLinear, 0, data, sizeof data);
                haveUpper = true;
                upper = high;
            }
            const size_t toBoundary = 0x10000 - (address & 0xFFFF);
            const size_t count =
                std::min({kBytesPerRecord, toBoundary, segment.bytes.size() - done});
            AppendRecord(out, kData, static_cast<uint16_t>(address & 0xFFFF),
                         segment.bytes.data() + done, count);
            done += count;
        }
    }
    AppendRecord(out, kEnd, 0, nullptr, 0);
    return out;
}

} // namespace ulvex
