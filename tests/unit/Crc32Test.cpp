// CRC32 against zlib's crc32, which computes the same IEEE 802.3 CRC.
#include "image/Crc32.h"
#include "TestFiles.h"
#include "image/HexFile.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using testfiles::RandomBytes;
using testfiles::TempDir;

uint32_t ZlibCrc(const std::vector<uint8_t>& bytes) {
    return static_cast<uint32_t>(
        crc32(crc32(0, nullptr, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

TEST(Crc32, KnownValues) {
    EXPECT_EQ(CalcCrc32(nullptr, 0), 0u);
    EXPECT_EQ(CalcCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(Crc32, AgreesWithZlib) {
    for (size_t size : {0, 1, 7, 4096, 100000}) {
        const std::vector<uint8_t> bytes = RandomBytes(size, static_cast<uint32_t>(size) + 1);
        EXPECT_EQ(CalcCrc32(bytes.data(), static_cast<uint32_t>(bytes.size())), ZlibCrc(bytes))
            << size << " bytes";
    }
}

TEST(Crc32, FileCrcCoversEveryByteOfTheFile) {
    TempDir dir;
    // Larger than one read chunk, with bytes that text mode would mangle.
    std::vector<uint8_t> bytes = RandomBytes(200001, 42);
    bytes[0] = '\r';
    bytes[1] = '\n';
    bytes[2] = 0x1A;
    const std::string path = dir.file("data.bin");
    testfiles::WriteBytes(path, bytes);
    EXPECT_EQ(CalcFileCrc32(path.c_str()), ZlibCrc(bytes));

    const std::string empty = dir.file("empty.bin");
    testfiles::WriteFile(empty, "");
    EXPECT_EQ(CalcFileCrc32(empty.c_str()), 0u);
    EXPECT_EQ(CalcFileCrc32(dir.file("missing.bin").c_str()), 0u);
}

TEST(Crc32, OddImageIsRoundedUpOverItsSpareByte) {
    TempDir dir;
    const std::string path = dir.file("three.hex");
    testfiles::WriteFile(path, ":03000000010203F7\n:00000001FF\n");
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t base = 0;
    ASSERT_EQ(ReadHexImage(path.c_str(), 0, &buffer, &size, &base), HEX_IMAGE_READY);
    ASSERT_EQ(size, 3u);
    const uint32_t even = (size + 1) & ~1u;
    EXPECT_EQ(CalcCrc32(buffer, even), ZlibCrc({0x01, 0x02, 0x03, 0xFF}));
    free(buffer);
}

TEST(Crc32, AddressIsPrintedThenBackspacedOver) {
    testing::internal::CaptureStdout();
    PrintAddressInPlace(0x1234);
    PrintAddressInPlace(0xFEDCBA98);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "00001234\b\b\b\b\b\b\b\bFEDCBA98\b\b\b\b\b\b\b\b");
}

} // namespace
