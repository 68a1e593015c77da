// Feeds arbitrary bytes to the HEX parser the way ReadHexImage does: a scan
// pass, then a fill pass into a buffer of exactly the scanned size + 3, and a
// fill pass into a buffer too small for the data. Buffers are sized exactly
// so that AddressSanitizer catches any byte stored outside them; the checks
// abort on results that must hold for any input.
#include "image/HexFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Larger images are left to the scan: filling them costs time, not coverage.
constexpr uint32_t kMaxFuzzImage = 1024 * 1024;

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_hexfile: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // fmemopen refuses an empty buffer; one blank reads the same as nothing.
    std::vector<char> text(data, data + size);
    if (text.empty()) {
        text.push_back(' ');
    }
    FILE* input = fmemopen(text.data(), text.size(), "r");
    if (input == nullptr) {
        return 0;
    }

    HexParseOutput scan;
    const uint8_t scanCode = ParseHexStream(input, "", nullptr, 0, 0, 0xFF, 0, &scan);
    Check(HexFileErrorText(scanCode) != nullptr, "parser code without a text");
    if (scanCode != HEX_OK || scan.lowest == 0xFFFFFFFF) {
        fclose(input);
        return 0;
    }
    Check(scan.highest > scan.lowest, "end address not above the lowest address");
    const uint32_t needed = scan.highest - scan.lowest;
    if (needed >= kMaxFuzzImage) {
        fclose(input);
        return 0;
    }

    // The fill pass of ReadHexImage: it must accept what the scan accepted.
    const uint32_t capacity = needed + kHexImageSpareBytes;
    uint8_t* image = static_cast<uint8_t*>(malloc(capacity));
    rewind(input);
    HexParseOutput fill;
    Check(ParseHexStream(input, nullptr, image, capacity, 0, 0xFF, scan.lowest, &fill) == HEX_OK,
          "fill pass refused what the scan accepted");
    Check(fill.lowest == scan.lowest, "passes disagree on the lowest address");
    Check(fill.highest == needed - 1, "passes disagree on the highest address");
    Check(fill.recordCount == scan.recordCount, "passes disagree on the record count");
    for (uint32_t i = needed; i < capacity; ++i) {
        Check(image[i] == 0xFF, "spare byte set");
    }
    uint32_t sum = 0;
    for (uint32_t i = 0; i < capacity; ++i) {
        sum += image[i];
    }
    Check(sum == fill.byteSum, "byte sum differs from the buffer");

    // Kept mode over the filled image writes the same bytes again.
    std::vector<uint8_t> copy(image, image + capacity);
    rewind(input);
    Check(ParseHexStream(input, nullptr, image, capacity, 1, 0x00, scan.lowest, nullptr) == HEX_OK,
          "kept fill pass failed");
    Check(memcmp(copy.data(), image, capacity) == 0, "kept fill pass changed the image");
    free(image);

    // Too small a buffer (a file changed between the passes) must fail
    // without a stray write.
    if (needed > 1) {
        const uint32_t small = needed / 2;
        uint8_t* half = static_cast<uint8_t*>(malloc(small));
        rewind(input);
        const uint8_t code =
            ParseHexStream(input, nullptr, half, small, 0, 0xFF, scan.lowest, nullptr);
        Check(code == HEX_BUFFER_SIZE_ERROR || code == HEX_BUFFER_OVERFLOW,
              "data beyond a small buffer not refused");
        free(half);
    }
    fclose(input);
    return 0;
}
