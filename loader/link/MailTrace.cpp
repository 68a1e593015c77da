#include "link/MailTrace.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "link/MailPrimitives.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

constexpr uint32_t kPayloadOffset = 6;
constexpr uint32_t kHeaderBytes = 3;
constexpr uint32_t kMailTraceBit = 0x04;

// The payload of a possibly truncated frame, read without going past it.
class Payload {
  public:
    Payload(const uint8_t* bytes, uint32_t size) : bytes_(bytes), size_(size) {}

    uint32_t Size() const { return size_; }
    uint8_t Byte(uint32_t at) const { return at < size_ ? bytes_[at] : 0; }
    uint32_t U16(uint32_t at) const { return Byte(at) | Byte(at + 1) << 8; }
    uint32_t U32(uint32_t at) const { return U16(at) | U16(at + 2) << 16; }

  private:
    const uint8_t* bytes_;
    uint32_t size_;
};

void Append(std::string& text, const char* format, uint32_t a, uint32_t b = 0, uint32_t c = 0) {
    char field[64];
    const int n = std::snprintf(field, sizeof field, format, a, b, c);
    text.append(field, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof field) - 1)));
}

// Address and count, then the data bytes.
void AppendByteData(std::string& text, const Payload& p) {
    Append(text, "(%08X).(%04X)", p.U32(1), p.U16(5));
    text += '(';
    for (uint32_t i = 7; i < p.Size(); ++i) {
        Append(text, "%02X ", p.Byte(i));
    }
    text += ')';
}

// Address and count, then the data words.
void AppendWordData(std::string& text, const Payload& p) {
    Append(text, "(%08X).(%04X).", p.U32(1), p.U16(5));
    text += '(';
    for (uint32_t i = 7; i + 1 < p.Size(); i += 2) {
        Append(text, "%04X ", p.U16(i));
    }
    text += ')';
}

void AppendParameters(std::string& text, const Payload& p) {
    switch (p.Byte(0)) {
    case READ_MEM8_REQ:
    case WRITE_MEM8_REQ:
        return AppendByteData(text, p);
    case READ_MEM16_REQ:
    case WRITE_MEM16_REQ:
    case PROG_INT_FLASH_REQ:
    case PROG_EXT_FLASH_REQ:
    case PROG_EXT_2FLASH8_REQ:
        return AppendWordData(text, p);
    case READ_MEM16_RES:
        for (uint32_t i = 1; i + 1 < p.Size(); i += 2) {
            Append(text, "%02X%02X ", p.Byte(i + 1), p.Byte(i));
        }
        return;
    case EXT_SECTOR_ERASE_REQ:
    case EXT_BLOCK_ERASE_REQ:
    case SET_CONFIG_REQ:
    case GO_FROM_ADDRESS_REQ:
        return Append(text, "(%08X)", p.U32(1));
    case CALC_CHECKSUM_REQ:
    case CALC_CRC32_REQ:
        return Append(text, "(%08X).(%08X) ", p.U32(1), p.U32(5));
    case SET_FLASH_PROG_CMD_ADDRESS_REQ:
        return Append(text, "(%08X).(%08X).(%08X)", p.U32(1), p.U32(5), p.U32(9));
    case EXT_FLASH_TYPE_REQ:
        return;
    default:
        for (uint32_t i = 1; i < p.Size(); ++i) {
            Append(text, "%02X ", p.Byte(i));
        }
    }
}

} // namespace

std::string MailTraceLine(const uint8_t* frame, uint32_t size) {
    if (size <= kPayloadOffset) {
        return {};
    }
    const uint32_t length = uint32_t{frame[1]} << 8 | frame[2];
    const uint32_t declared = length > kHeaderBytes ? length - kHeaderBytes : 0;
    const Payload payload(frame + kPayloadOffset, std::min(declared, size - kPayloadOffset));
    const uint8_t code = payload.Byte(0);

    std::string text = (code & 1) != 0 ? "<-- " : "--> ";
    Append(text, "Lg[%03d] ", length);
    Append(text, "[%02X %02X %02X] ", frame[3], frame[4], frame[5]);
    if (const char* name = PrimitiveName(code)) {
        text += name;
    } else {
        Append(text, "## UNKNOWN PRIMITIVE (%02X) ##", code);
    }
    text += " [";
    AppendParameters(text, payload);
    text += "] \n";
    return text;
}

bool MailTraceOn() {
    return (Ctx().trace.mask & kMailTraceBit) != 0;
}

void TraceMailFrame(const uint8_t* frame, uint32_t size) {
    if (!MailTraceOn()) {
        return;
    }
    const std::string line = MailTraceLine(frame, size);
    if (!line.empty()) {
        TraceWrite(line);
    }
}
