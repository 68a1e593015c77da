// ulvex's S-record reader and format detection, each a table of texts and
// what they give. The well-formed records were written by srec_cat.
#include "image/ImageFile.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>

namespace {

// An S-record text and its finished image as "ADDRESS:BYTES ...", or a
// part of the error.
struct SrecRow {
    const char* text;
    const char* image;
};

const SrecRow kSrecRows[] = {
    {"S0220000687474703A2F2F737265636F72642E736F75726365666F7267652E6E65742F1D\r\n"
     "S1061234010203AD\r\nS5030001FB\r\nS9030000FC\r\n",
     "00001234:010203"},
    {"\n\nS207001234010203AC\nS804000000FB\n\n", "00001234:010203"},
    {"S30800001234010203AB\nS1051240AABB43\nS70500000000FA", "00001234:010203 00001240:AABB"},
    {"S1051235AABB4E\nS1061234010203AD", "line 2 and line 1 both write 0x00001235"},
    {"S1061234010203AE", "line 1 has the checksum AE, its bytes give AD"},
    {"S1071234010203AD", "line 1 says 7 bytes follow its count, and 6 do"},
    {"S106123401G203AD", "line 1 has a character that is no hex digit at column 11"},
    {"S1061234010203A", "line 1 has an odd number of hex digits"},
    {"S1061234010203AD\nrelease notes", "line 2 is not an S-record"},
    {"S4030000FC", "line 1 is an S4 record"},
    {"S10200FD", "line 1 is too short for an S1 record"},
    {"S105FFFFAABB97", "line 1 runs past the 16-bit addresses of an S1 record"},
    {"S307FFFFFFFEAABB98", "line 1 reaches 0xFFFFFFFF"},
    {"S0030000FC\nS9030000FC\n", "holds no data"},
};

TEST(UlvexImageTest, SrecordsGiveTheirDataOrSayWhy) {
    for (const SrecRow& row : kSrecRows) {
        ulvex::MemoryImage image = ulvex::ParseSrec(row.text);
        ulvex::FinishImage(image);
        std::string got = image.error;
        for (const ulvex::Segment& s : image.segments) {
            got += fmt::format("{}{:08X}:{:02X}", got.empty() ? "" : " ", s.address,
                               fmt::join(s.bytes, ""));
        }
        EXPECT_NE(got.find(row.image), std::string::npos) << row.text << "\ngave: " << got;
    }
}

struct DetectRow {
    std::string_view head;
    std::optional<ulvex::ImageFormat> format;
};

const DetectRow kDetectRows[] = {
    {"\x7f"
     "ELF\x01\x01",
     ulvex::ImageFormat::Elf},
    {"\n \r\nS00600004844521B\n", ulvex::ImageFormat::Srec},
    {"S9030000FC", ulvex::ImageFormat::Srec},
    {"\r\n  :10000000", ulvex::ImageFormat::Hex},
    {"release notes\n:10000000", std::nullopt},
    {" S1061234010203AD", std::nullopt},
    {"SX", std::nullopt},
    {"\n\n", std::nullopt},
};

TEST(UlvexImageTest, FormatsAreToldByTheirContent) {
    for (const DetectRow& row : kDetectRows) {
        EXPECT_EQ(ulvex::DetectFormat(row.head), row.format) << row.head;
    }
}

} // namespace
