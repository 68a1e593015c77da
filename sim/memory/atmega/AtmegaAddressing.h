// How the ATmega's resident boot loader addresses its flash: in 16-bit
// words. A programming request names the first word of its page, which is
// stored low byte first at twice that byte address. A CRC request names
// its first word and the word after its last one: the PC derives the end
// from the image's byte size rounded up to whole words, so that the range
// covers exactly the bytes of the file's CRC.
#pragma once

#include <cstdint>
#include <optional>

namespace vtarget {

inline bool IsAtmegaType(int targetType) {
    return targetType == 10 || targetType == 17;
}

// The byte address of a word; nothing for a word beyond 4 GiB of bytes.
inline std::optional<uint32_t> AtmegaByteAddress(uint32_t wordAddress) {
    if (wordAddress > UINT32_MAX / 2) {
        return std::nullopt;
    }
    return wordAddress * 2;
}

struct ByteRun {
    uint32_t start = 0;
    uint64_t count = 0;
};

// Words first..last-1, that is bytes 2*first..2*last-1 (wrapping at 4 GiB
// like every range); empty when last does not lie above first.
inline ByteRun AtmegaCrcBytes(uint32_t first, uint32_t last) {
    const auto start = static_cast<uint32_t>(uint64_t{first} * 2);
    if (last <= first) {
        return {start, 0};
    }
    return {start, 2 * (uint64_t{last} - first)};
}

} // namespace vtarget
