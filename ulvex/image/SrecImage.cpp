// Motorola S-records, one a line: "S", the type digit, then hex digit
// pairs: the byte count (address, data and checksum bytes), the address of
// 2, 3 or 4 bytes by type, the data, and the checksum, the ones' complement
// of the low byte of the sum of every pair before it. Every field is
// checked against what the line really holds before it is read.
#include "Arguments.h"
#include "image/ImageFile.h"

#include <fmt/format.h>

namespace ulvex {

namespace {

// The byte count (at most 255) and the bytes it counts, two digits each.
constexpr size_t kMaxDigits = 2 * (1 + 255);

// Address bytes of each record type; 0 for S4, which has no meaning.
constexpr uint8_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

bool IsDataType(int type) {
    return type >= 1 && type <= 3;
}

// One line's record into the image; why it is not one, or "".
std::string TakeRecord(std::string_view line, uint32_t number, MemoryImage& image) {
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
        return "is not an S-record (S0 to S9)";
    }
    const int type = line[1] - '0';
    const uint8_t addressBytes = kAddressBytes[type];
    if (addressBytes == 0) {
        return "is an S4 record, which has no meaning";
    }
    const std::string_view digits = line.substr(2);
    if (digits.size() > kMaxDigits) {
        return "is longer than an S-record can be";
    }
    if (digits.size() % 2 != 0) {
        return "has an odd number of hex digits";
    }
    std::vector<uint8_t> bytes(digits.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int high = HexDigitValue(digits[2 * i]);
        const int low = HexDigitValue(digits[2 * i + 1]);
        if (high < 0 || low < 0) {
            return fmt::format("has a character that is no hex digit at column {}",
                               2 * i + (high < 0 ? 3 : 4));
        }
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    if (bytes.empty() || bytes[0] != bytes.size() - 1) {
        return fmt::format("says {} bytes follow its count, and {} do",
                           bytes.empty() ? 0 : bytes[0], bytes.empty() ? 0 : bytes.size() - 1);
    }
    if (bytes[0] < addressBytes + 1) {
        return fmt::format("is too short for an S{} record", type);
    }
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    const auto checksum = static_cast<uint8_t>(~sum);
    if (bytes.back() != checksum) {
        return fmt::format("has the checksum {:02X}, its bytes give {:02X}", bytes.back(),
                           checksum);
    }
    if (!IsDataType(type)) {
        return ""; // header, count or start address: nothing to program
    }
    uint32_t address = 0;
    for (size_t i = 1; i <= addressBytes; ++i) {
        address = address << 8 | bytes[i];
    }
    const size_t first = 1 + addressBytes;
    const size_t count = bytes.size() - 1 - first;
    if (uint64_t{address} + count > uint64_t{1} << (8 * addressBytes)) {
        return fmt::format("runs past the {}-bit addresses of an S{} record", 8 * addressBytes,
                           type);
    }
    image.segments.push_back(
        {address,
         std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end() - 1),
         number});
    return "";
}

} // namespace

MemoryImage ParseSrec(std::string_view text) {
    MemoryImage image;
    image.origin = "line";
    uint32_t number = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t newline = text.find('\n', start);
        const size_t end = newline == std::string_view::npos ? text.size() : newline;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (const std::string why = TakeRecord(line, number, image); !why.empty()) {
            image.segments.clear();
            image.error = fmt::format("line {} {}", number, why);
            return image;
        }
    }
    return image;
}

} // namespace ulvex
