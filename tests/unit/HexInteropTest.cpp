// HEX files written by tools nobody here wrote (srec_cat, objcopy), read by
// the reader and by python3-intelhex; the two images must agree byte for byte.
#include "TestFiles.h"
#include "image/HexFile.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using testfiles::RandomBytes;
using testfiles::ReadFile;
using testfiles::RunCommand;
using testfiles::TempDir;
using testfiles::WriteBytes;
using testfiles::WriteFile;

// Writes the image python3-intelhex reads from a file, erased bytes as 0xFF,
// and prints its lowest and highest address.
const char* const kIntelHexScript = R"(import sys
from intelhex import IntelHex
ih = IntelHex(sys.argv[1])
ih.padding = 0xFF
ih.tobinfile(sys.argv[2])
print(ih.minaddr(), ih.maxaddr())
)";

bool HaveSrecCat() {
    const std::string path = ULVEX_SREC_CAT;
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

bool HaveIntelHex() {
    static const bool present =
        RunCommand(std::string(ULVEX_TEST_PYTHON) + " -c 'import intelhex'").exitCode == 0;
    return present;
}

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%X", value);
    return text;
}

class HexInteropTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveIntelHex()) {
            GTEST_SKIP() << ULVEX_TEST_PYTHON
                         << " has no intelhex module (Debian package python3-intelhex)";
        }
    }

    void Run(const std::string& command) {
        const auto result = RunCommand(command);
        ASSERT_EQ(result.exitCode, 0) << command << "\n" << result.output;
    }

    std::string Binary(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir_.file(name);
        WriteBytes(path, bytes);
        return path;
    }

    // Reads hexPath with both readers and compares the images.
    void ExpectSameImage(const std::string& hexPath) {
        const std::string script = dir_.file("read.py");
        const std::string reference = dir_.file("reference.bin");
        WriteFile(script, kIntelHexScript);
        const auto python = RunCommand(std::string(ULVEX_TEST_PYTHON) + " " + script + " " +
                                       hexPath + " " + reference);
        ASSERT_EQ(python.exitCode, 0) << python.output;
        unsigned long minAddress = 0;
        unsigned long maxAddress = 0;
        ASSERT_EQ(sscanf(python.output.c_str(), "%lu %lu", &minAddress, &maxAddress), 2)
            << python.output;
        const std::string expected = ReadFile(reference);

        uint8_t* buffer = nullptr;
        uint32_t size = 0;
        uint32_t base = 0;
        ASSERT_EQ(ReadHexImage(hexPath.c_str(), 0, &buffer, &size, &base), HEX_IMAGE_READY);
        const std::string image(reinterpret_cast<char*>(buffer), size);
        const std::string spare(reinterpret_cast<char*>(buffer) + size, kHexImageSpareBytes);
        free(buffer);

        EXPECT_EQ(base, minAddress);
        EXPECT_EQ(size, maxAddress - minAddress + 1);
        ASSERT_EQ(image.size(), expected.size());
        EXPECT_TRUE(image == expected)
            << "images differ at offset "
            << std::mismatch(image.begin(), image.end(), expected.begin()).first - image.begin();
        EXPECT_EQ(spare, std::string(kHexImageSpareBytes, '\xFF'));
    }

    TempDir dir_;
};

struct SrecCase {
    const char* name;
    size_t size;
    uint32_t offset;
    int addressLength;    // 4: type 04 records, 3: type 02 records
    int blockSize;        // data bytes per record
    const char* extended; // a record that must be in the file, or ""
};

// Keeps test names short in listings: the case prints as its name.
void PrintTo(const SrecCase& c, std::ostream* os) {
    *os << c.name;
}

class SrecCatFiles : public HexInteropTest, public testing::WithParamInterface<SrecCase> {};

TEST_P(SrecCatFiles, ReadLikeIntelHexReadsThem) {
    if (!HaveSrecCat()) {
        GTEST_SKIP() << "srec_cat not found (Debian package srecord)";
    }
    const SrecCase& c = GetParam();
    const std::string in = Binary("in.bin", RandomBytes(c.size, static_cast<uint32_t>(c.size)));
    const std::string out = dir_.file("out.hex");
    Run(std::string(ULVEX_SREC_CAT) + " " + in + " -binary -offset " + Hex(c.offset) + " -o " +
        out + " -intel -address-length=" + std::to_string(c.addressLength) +
        " -output_block_size=" + std::to_string(c.blockSize));
    if (*c.extended != '\0') {
        ASSERT_NE(ReadFile(out).find(c.extended), std::string::npos)
            << "srec_cat wrote no " << c.extended << " record";
    }
    ExpectSameImage(out);
}

INSTANTIATE_TEST_SUITE_P(
    HexInterop, SrecCatFiles,
    testing::Values(SrecCase{"Plain16", 5000, 0, 4, 16, ""},
                    SrecCase{"Linear32Across64K", 70000, 0x1F000, 4, 32, ":02000004"},
                    SrecCase{"Segment255Odd", 100001, 0x8000F, 3, 255, ":02000002"},
                    SrecCase{"Segment16Across64K", 65536, 0xFFF0, 3, 16, ":02000002"},
                    SrecCase{"Linear255High", 3000, 0x00400000, 4, 255, ":02000004"},
                    SrecCase{"OneByteBelow64K", 1, 0xFFFF, 4, 16, ""},
                    SrecCase{"TopOfAddressSpace", 4096, 0xFFFF0FFF, 4, 32, ":02000004FFFF"}),
    [](const testing::TestParamInfo<SrecCase>& info) { return std::string(info.param.name); });

TEST_F(HexInteropTest, SrecCatImageWithAHole) {
    if (!HaveSrecCat()) {
        GTEST_SKIP() << "srec_cat not found (Debian package srecord)";
    }
    const std::string a = Binary("a.bin", RandomBytes(300, 1));
    const std::string b = Binary("b.bin", RandomBytes(777, 2));
    const std::string out = dir_.file("hole.hex");
    Run(std::string(ULVEX_SREC_CAT) + " " + a + " -binary -offset 0x100 " + b +
        " -binary -offset 0x30005 -o " + out + " -intel -address-length=4 -output_block_size=32");
    ExpectSameImage(out);
}

TEST_F(HexInteropTest, ObjcopyFiles) {
    const std::string in = Binary("in.bin", RandomBytes(10000, 3));
    const std::string plain = dir_.file("plain.hex");
    Run("objcopy -I binary -O ihex " + in + " " + plain);
    ExpectSameImage(plain);

    // Moving only the section keeps the start address 0: type 04 records.
    const std::string linear = dir_.file("linear.hex");
    Run("objcopy -I binary -O ihex --change-section-address .data+0x0800FFF8 " + in + " " + linear);
    ASSERT_NE(ReadFile(linear).find(":02000004"), std::string::npos);
    ExpectSameImage(linear);

    // Below 1 MiB objcopy uses type 02 records and a type 03 start address.
    const std::string segment = dir_.file("segment.hex");
    Run("objcopy -I binary -O ihex --change-addresses 0x1FFF0 " + in + " " + segment);
    ASSERT_NE(ReadFile(segment).find(":04000003"), std::string::npos);
    ExpectSameImage(segment);

    // Above it the start address is a type 05 record, which carries no data.
    const std::string start = dir_.file("start.hex");
    Run("objcopy -I binary -O ihex --change-addresses 0x08000000 " + in + " " + start);
    ASSERT_NE(ReadFile(start).find(":0400000508000000"), std::string::npos);
    ExpectSameImage(start);
}

} // namespace
