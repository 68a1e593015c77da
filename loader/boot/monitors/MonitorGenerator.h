// Compile-time generator of the monitor images the library carries in place
// of target firmware: a header of MonitorFormat.h followed by pseudo-random
// filler, the same bytes in every build on every platform. The ML675001
// monitor is the same kind of data written out as Intel HEX text.
//
// Everything here is evaluated by the compiler, so no host tool is needed
// and cross builds produce the very same images.
#pragma once

#include "boot/monitors/MonitorFormat.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace monitors {

// Build tag of the generated images; real monitors carry no header at all.
constexpr uint32_t kGeneratedBuildTag = 0x00020041;

// Data bytes per HEX data record and the record types the text uses.
constexpr size_t kHexBytesPerRecord = 16;
constexpr uint8_t kHexDataRecord = 0x00;
constexpr uint8_t kHexEndRecord = 0x01;
constexpr uint8_t kHexLinearAddressRecord = 0x04;

// The byte that follows the stored HEX text and is never sent.
constexpr uint8_t kHexEndMark = 0xFF;

// xorshift32: cheap enough for constant evaluation and never 0 once seeded
// with a non-zero value.
class FillerStream {
  public:
    // 0x9E3779B9 is odd, so every kind below 2^32 - 1 gives a non-zero seed.
    constexpr explicit FillerStream(uint8_t kind) : state_(0x9E3779B9u * (kind + 1u)) {}

    constexpr uint8_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<uint8_t>(state_ >> 24);
    }

  private:
    uint32_t state_;
};

constexpr void WriteLe32(std::span<uint8_t> bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Header and filler of one image; the span's size is the image size.
constexpr void FillMonitorData(uint8_t kind, std::span<uint8_t> image) {
    for (size_t i = 0; i < kMagic.size(); ++i) {
        image[i] = kMagic[i];
    }
    image[4] = kind;
    image[5] = kLayoutVersion;
    image[6] = 0;
    image[7] = 0;
    WriteLe32(image, 8, static_cast<uint32_t>(image.size()));
    WriteLe32(image, 12, kGeneratedBuildTag);
    FillerStream filler(kind);
    for (size_t i = kHeaderSize; i < image.size(); ++i) {
        image[i] = filler.Next();
    }
}

// The bytes of an image kind: the binary images 0..6 as sent, for kind 7 the
// data the HEX text carries.
template <uint8_t Kind>
constexpr std::array<uint8_t, kImageSizes[Kind]> MonitorData() {
    std::array<uint8_t, kImageSizes[Kind]> image{};
    FillMonitorData(Kind, image);
    return image;
}

// Characters of one record: ':', count, address, type, data, checksum, CR LF.
constexpr size_t HexRecordLength(size_t dataBytes) {
    return 1 + 2 * (1 + 2 + 1 + dataBytes + 1) + 2;
}

constexpr size_t HexTextLength(size_t dataBytes) {
    const size_t fullRecords = dataBytes / kHexBytesPerRecord;
    const size_t lastBytes = dataBytes % kHexBytesPerRecord;
    size_t length =
        HexRecordLength(2) + fullRecords * HexRecordLength(kHexBytesPerRecord) + HexRecordLength(0);
    if (lastBytes != 0) {
        length += HexRecordLength(lastBytes);
    }
    return length;
}

// Appends Intel HEX records to a character buffer: upper-case digits, each
// line ended by CR LF.
class HexTextWriter {
  public:
    constexpr explicit HexTextWriter(std::span<uint8_t> text) : text_(text) {}

    constexpr void Record(uint8_t type, uint16_t address, std::span<const uint8_t> data) {
        Put(':');
        uint8_t sum = 0;
        const uint8_t fields[] = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                  type};
        for (uint8_t byte : fields) {
            sum = static_cast<uint8_t>(sum + byte);
            PutHexByte(byte);
        }
        for (uint8_t byte : data) {
            sum = static_cast<uint8_t>(sum + byte);
            PutHexByte(byte);
        }
        PutHexByte(static_cast<uint8_t>(-sum));
        Put('\r');
        Put('\n');
    }

    constexpr size_t Length() const { return length_; }

  private:
    constexpr void Put(char c) { text_[length_++] = static_cast<uint8_t>(c); }

    constexpr void PutHexByte(uint8_t byte) {
        constexpr char kDigits[] = "0123456789ABCDEF";
        Put(kDigits[byte >> 4]);
        Put(kDigits[byte & 0x0F]);
    }

    std::span<uint8_t> text_;
    size_t length_ = 0;
};

constexpr size_t kMl675001StoredSize = kMl675001TextSize + 1;

// The ML675001 monitor as stored: its data at address 0 as Intel HEX text
// (extended linear address 0, data records, end record), then the end mark.
constexpr std::array<uint8_t, kMl675001StoredSize> Ml675001MonitorText() {
    constexpr auto data = MonitorData<kMl675001Kind>();
    static_assert(HexTextLength(data.size()) == kMl675001TextSize);
    static_assert((data.size() + kHexBytesPerRecord - 1) / kHexBytesPerRecord ==
                  kMl675001DataRecords);

    std::array<uint8_t, kMl675001StoredSize> text{};
    HexTextWriter writer(text);
    constexpr uint8_t kUpperAddressZero[] = {0x00, 0x00};
    writer.Record(kHexLinearAddressRecord, 0, kUpperAddressZero);
    for (size_t at = 0; at < data.size(); at += kHexBytesPerRecord) {
        const size_t count = std::min(kHexBytesPerRecord, data.size() - at);
        writer.Record(kHexDataRecord, static_cast<uint16_t>(at),
                      std::span<const uint8_t>(data).subspan(at, count));
    }
    writer.Record(kHexEndRecord, 0, {});
    text[writer.Length()] = kHexEndMark;
    return text;
}

} // namespace monitors
