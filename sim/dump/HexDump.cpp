#include "dump/HexDump.h"

#include <algorithm>
#include <fstream>

namespace vtarget {

namespace {

constexpr uint32_t kRecordBytes = 32;

void AppendHex(std::string& out, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

void AppendRecord(std::string& out, uint8_t type, uint16_t address, std::span<const uint8_t> data) {
    const uint8_t head[4] = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address), type};
    uint8_t sum = 0;
    out += ':';
    for (auto part : {std::span<const uint8_t>(head), data}) {
        for (uint8_t b : part) {
            AppendHex(out, b);
            sum = static_cast<uint8_t>(sum + b);
        }
    }
    AppendHex(out, static_cast<uint8_t>(-sum));
    out += '\n';
}

// Data records of one range; a record never crosses a 64 KiB segment.
void AppendRange(std::string& out, const MemoryModel& memory, AddressRange range,
                 int64_t& segment) {
    uint8_t data[kRecordBytes];
    for (uint64_t offset = 0; offset < range.size;) {
        const uint32_t address = range.start + static_cast<uint32_t>(offset);
        if (address >> 16 != segment) {
            segment = address >> 16;
            const uint8_t upper[2] = {static_cast<uint8_t>(segment >> 8),
                                      static_cast<uint8_t>(segment)};
            AppendRecord(out, 0x04, 0, upper);
        }
        const uint32_t n = static_cast<uint32_t>(
            std::min<uint64_t>({kRecordBytes, range.size - offset, 0x10000u - (address & 0xFFFF)}));
        memory.Peek(address, std::span(data, n));
        AppendRecord(out, 0x00, static_cast<uint16_t>(address), std::span(data, n));
        offset += n;
    }
}

} // namespace

std::string FormatIntelHex(const MemoryModel& memory) {
    std::string out;
    int64_t segment = -1;
    for (const AddressRange& range : memory.WrittenRanges()) {
        AppendRange(out, memory, range, segment);
    }
    AppendRecord(out, 0x01, 0, {});
    return out;
}

bool WriteIntelHex(const std::string& path, const MemoryModel& memory) {
    const std::string text = FormatIntelHex(memory);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}

} // namespace vtarget
