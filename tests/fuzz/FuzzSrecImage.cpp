// ulvex's S-record reader fed arbitrary text. What it accepts is written as
// Intel HEX and read back by the library's own reader, which must find the
// same bytes at the same addresses, 0xFF between them; what it refuses
// must say why.
#include "image/HexFile.h"
#include "image/ImageFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Wider images are left unread: filling them costs time, not coverage.
constexpr uint64_t kMaxFuzzSpan = 1024 * 1024;

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_srec_image: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ulvex::MemoryImage image =
        ulvex::ParseSrec(std::string_view(reinterpret_cast<const char*>(data), size));
    ulvex::FinishImage(image);
    Check(image.error.empty() != image.segments.empty(), "an image with an error, or neither");
    if (!image.error.empty()) {
        return 0;
    }
    const uint32_t lowest = image.segments.front().address;
    uint64_t end = 0;
    for (const ulvex::Segment& s : image.segments) {
        Check(s.address >= end || &s == &image.segments.front(), "segments overlap");
        end = s.address + uint64_t{s.bytes.size()};
    }
    Check(end < 0xFFFFFFFFu, "data at 0xFFFFFFFF");
    if (end - lowest > kMaxFuzzSpan) {
        return 0;
    }
    const auto span = static_cast<uint32_t>(end - lowest);
    std::vector<uint8_t> expected(span + kHexImageSpareBytes, 0xFF);
    for (const ulvex::Segment& s : image.segments) {
        memcpy(expected.data() + (s.address - lowest), s.bytes.data(), s.bytes.size());
    }

    std::string hex = ulvex::WriteHex(image);
    FILE* input = fmemopen(hex.data(), hex.size(), "r");
    Check(input != nullptr, "fmemopen failed");
    HexParseOutput scan;
    Check(ParseHexStream(input, "", nullptr, 0, 0, 0xFF, 0, &scan) == HEX_OK,
          "the library refuses the HEX written");
    Check(scan.lowest == lowest && scan.highest == end, "the HEX written spans other addresses");
    std::vector<uint8_t> read(expected.size(), 0xFF);
    rewind(input);
    HexParseOutput fill;
    Check(ParseHexStream(input, nullptr, read.data(), span, 0, 0xFF, lowest, &fill) == HEX_OK,
          "the library's fill pass refuses the HEX written");
    fclose(input);
    Check(read == expected, "the HEX written holds other bytes");
    return 0;
}
