// The HEX reader on files written here record by record: layout, record
// types, errors, the kept-image mode, the temporary-file mode and the limits
// that keep a hostile file from writing outside the image.
#include "image/HexFile.h"
#include "TestFiles.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using testfiles::ReadFile;
using testfiles::TempDir;
using testfiles::WriteFile;

// A record with the given byte count field, whatever data follows; the
// checksum is always right.
std::string RawRecord(uint8_t count, uint16_t address, uint8_t type,
                      const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {count, static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    bytes.push_back(static_cast<uint8_t>(-sum));
    std::string text = ":";
    char pair[3];
    for (uint8_t b : bytes) {
        snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    return RawRecord(static_cast<uint8_t>(data.size()), address, type, data);
}

std::string Data(uint16_t address, const std::vector<uint8_t>& data) {
    return Record(0x00, address, data) + "\n";
}
std::string Linear(uint16_t upper) {
    return Record(0x04, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)}) + "\n";
}
std::string Segment(uint16_t segment) {
    return Record(0x02, 0, {static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment)}) +
           "\n";
}
const std::string kEnd = ":00000001FF\n";

std::vector<uint8_t> Repeat(uint8_t value, size_t count) {
    return std::vector<uint8_t>(count, value);
}

// A memory image as ReadHexImage hands it over; freed with free(), as hosts do.
struct Image {
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t base = 0;

    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    ~Image() { free(buffer); }

    uint32_t Read(const std::string& path, uint8_t keep = 0) {
        return ReadHexImage(path.c_str(), keep, &buffer, &size, &base);
    }
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(buffer, buffer + size); }
    std::vector<uint8_t> Spare() const {
        return std::vector<uint8_t>(buffer + size, buffer + size + kHexImageSpareBytes);
    }
};

class HexFileTest : public testing::Test {
  protected:
    std::string Write(const std::string& content, const std::string& name = "in.hex") {
        const std::string path = dir_.file(name);
        WriteFile(path, content);
        return path;
    }
    uint8_t Scan(const std::string& path, uint32_t* lowest = nullptr, uint32_t* end = nullptr) {
        uint32_t l = 0;
        uint32_t e = 0;
        const uint8_t code = ScanHexFile(path.c_str(), &l, &e);
        if (lowest != nullptr) {
            *lowest = l;
        }
        if (end != nullptr) {
            *end = e;
        }
        return code;
    }

    TempDir dir_;
};

TEST(HexFieldValue, ReadsDigitsOfEitherCaseAndCountsOthersAsZero) {
    EXPECT_EQ(HexFieldValue("1a2B", 4), 0x1A2Bu);
    EXPECT_EQ(HexFieldValue("1a2B", 2), 0x1Au);
    EXPECT_EQ(HexFieldValue("FFFFFFFF", 8), 0xFFFFFFFFu);
    EXPECT_EQ(HexFieldValue("123456789", 9), 0x23456789u); // only 32 bits are kept
    EXPECT_EQ(HexFieldValue("anything", 0), 0u);
    EXPECT_EQ(HexFieldValue("G1", 2), 0x01u);
    EXPECT_EQ(HexFieldValue("1 :", 3), 0x100u);
}

TEST(HexFileErrorText, EveryParserCodeHasItsTextAndNothingElseHasOne) {
    const char* const expected[] = {
        " No error",
        " Create file error",
        " Open input file error",
        " Record checksum error",
        " Buffer size error",
        nullptr, // code 5 is not given
        " Unknown record type",
        " Syntax error",
        " Temp file Error",
        " Buffer overflow error",
    };
    for (uint32_t code = 0; code < 10; ++code) {
        EXPECT_STREQ(HexFileErrorText(code), expected[code]) << code;
    }
    EXPECT_EQ(HexFileErrorText(10), nullptr);
    EXPECT_EQ(HexFileErrorText(255), nullptr);
    // Only the low eight bits of the code count.
    EXPECT_STREQ(HexFileErrorText(0x103), " Record checksum error");
}

TEST_F(HexFileTest, FileLengthKeepsThePosition) {
    FILE* file = fopen(Write(std::string(1000, 'x')).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fseek(file, 123, SEEK_SET), 0);
    EXPECT_EQ(FileLength(file), 1000);
    EXPECT_EQ(ftell(file), 123);
    EXPECT_EQ(fgetc(file), 'x');
    fclose(file);
}

TEST_F(HexFileTest, ExtendedAddressRecordsPlaceTheData) {
    Image linear;
    ASSERT_EQ(linear.Read(Write(Linear(0x0040) + Data(0, {1, 2, 3}) + kEnd)), HEX_IMAGE_READY);
    EXPECT_EQ(linear.base, 0x00400000u);
    EXPECT_EQ(linear.Bytes(), (std::vector<uint8_t>{1, 2, 3}));

    // Segment 0x1000 starts at 0x10000; the offset holds until the next
    // type 02 or 04 record replaces it.
    Image mixed;
    ASSERT_EQ(mixed.Read(Write(Segment(0x1000) + Data(0xFFFE, {0xA0, 0xA1}) + Data(0x0000, {0xB0}) +
                               Linear(0x0001) + Data(0x0001, {0xC0}) + kEnd)),
              HEX_IMAGE_READY);
    EXPECT_EQ(mixed.base, 0x00010000u);
    ASSERT_EQ(mixed.size, 0x10000u);
    EXPECT_EQ(mixed.buffer[0], 0xB0);
    EXPECT_EQ(mixed.buffer[1], 0xC0);
    EXPECT_EQ(mixed.buffer[2], 0xFF);
    EXPECT_EQ(mixed.buffer[0xFFFE], 0xA0);
    EXPECT_EQ(mixed.buffer[0xFFFF], 0xA1);
}

TEST_F(HexFileTest, UnsetBytesAndTheSpareBytesAreErased) {
    Image image;
    ASSERT_EQ(
        image.Read(Write(Data(0x2000, Repeat(0x22, 16)) + Data(0x1000, Repeat(0x11, 16)) + kEnd)),
        HEX_IMAGE_READY);
    EXPECT_EQ(image.base, 0x1000u);
    ASSERT_EQ(image.size, 0x1010u);
    const std::vector<uint8_t> bytes = image.Bytes();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t expected = i < 0x10 ? 0x11 : i >= 0x1000 ? 0x22 : 0xFF;
        ASSERT_EQ(bytes[i], expected) << "offset " << i;
    }
    EXPECT_EQ(image.Spare(), Repeat(0xFF, 3));
}

TEST_F(HexFileTest, LayoutCaseAndExtraWhitespaceDoNotMatter) {
    std::string lower = Data(0x10, {0xAB, 0xCD, 0xEF});
    for (char& c : lower) {
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    const std::string text = "\n\n   " + lower + "\r\n\t\v\f" + RawRecord(1, 0x13, 0, {0x5A}) +
                             "   " + RawRecord(1, 0x14, 0, {0xA5}) + "\r\n\r\n\n:00000001ff";
    Image image;
    ASSERT_EQ(image.Read(Write(text)), HEX_IMAGE_READY);
    EXPECT_EQ(image.base, 0x10u);
    EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{0xAB, 0xCD, 0xEF, 0x5A, 0xA5}));
}

TEST_F(HexFileTest, StartRecordsAndTheEndRecord) {
    // Start addresses (types 03 and 05) are skipped wherever they stand and
    // whatever their length; the extended offset stays as it was.
    const std::string start03 = Record(0x03, 0, {0x12, 0x34, 0x56, 0x78}) + "\n";
    const std::string start05 = Record(0x05, 0, {0xC8, 0x00, 0x00, 0x00}) + "\n";
    for (const std::string& text :
         {start03 + Linear(0xC800) + Data(0, {7}) + Data(1, {8}) + kEnd,
          start05 + Linear(0xC800) + Data(0, {7}) + Data(1, {8}) + kEnd,
          Linear(0xC800) + Data(0, {7}) + start05 + Data(1, {8}) + kEnd,
          Linear(0xC800) + Data(0, {7}) + Data(1, {8}) + Record(0x05, 0, {1}) + "\n" + kEnd}) {
        Image image;
        ASSERT_EQ(image.Read(Write(text)), HEX_IMAGE_READY) << text;
        EXPECT_EQ(image.base, 0xC8000000u) << text;
        EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{7, 8})) << text;
    }

    // After type 01 nothing more is read, not even text that would fail
    // every other test.
    const std::string garbage = "garbage\n" + Record(0x06, 0, {0, 0, 0, 0}) + "\n:0100000000\n" +
                                Data(0x100, {0x99}) + std::string(5000, '#');
    Image image;
    ASSERT_EQ(image.Read(Write(Data(0, {7}) + kEnd + garbage)), HEX_IMAGE_READY);
    EXPECT_EQ(image.base, 0u);
    EXPECT_EQ(image.Bytes(), std::vector<uint8_t>{7});

    // Without an end record the file simply ends.
    Image open;
    ASSERT_EQ(open.Read(Write(Data(0, {8}))), HEX_IMAGE_READY);
    EXPECT_EQ(open.Bytes(), std::vector<uint8_t>{8});
}

TEST_F(HexFileTest, BadFilesFailTheScanAndLeaveTheCallerVariablesAlone) {
    std::string badChecksum = Data(0, {1, 2, 3});
    badChecksum[badChecksum.size() - 2] ^= 1;
    const struct {
        const char* what;
        std::string text;
        uint8_t parserCode;
    } cases[] = {
        {"wrong checksum", Data(0x10, {1}) + badChecksum + kEnd, HEX_CHECKSUM_ERROR},
        {"type 06", Record(0x06, 0, {}) + "\n" + kEnd, HEX_UNKNOWN_RECORD},
        {"type FF", Record(0xFF, 0, {1}) + "\n" + kEnd, HEX_UNKNOWN_RECORD},
        {"missing colon", Data(0, {1}) + Data(1, {2}).substr(1) + kEnd, HEX_SYNTAX_ERROR},
        {"text before the records", "firmware " + Data(0, {1}) + kEnd, HEX_SYNTAX_ERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Write(c.text);
        EXPECT_EQ(Scan(path), c.parserCode);
        Image image;
        uint8_t previous[4] = {1, 2, 3, 4};
        image.buffer = previous;
        EXPECT_EQ(image.Read(path), HEX_IMAGE_SCAN_PASS_FAILED);
        EXPECT_EQ(image.buffer, previous);
        image.buffer = nullptr;
    }

    const std::string missing = dir_.file("missing.hex");
    EXPECT_EQ(Scan(missing), HEX_OPEN_INPUT_ERROR);
    Image image;
    EXPECT_EQ(image.Read(missing), HEX_IMAGE_SCAN_PASS_FAILED);
    EXPECT_EQ(image.buffer, nullptr);
}

TEST_F(HexFileTest, FilesWithoutDataBytesGiveNoImage) {
    for (const std::string& text :
         {std::string(), std::string(" \n\r\n\t"), kEnd, Linear(0x10) + Data(0x20, {}) + kEnd}) {
        Image image;
        EXPECT_EQ(image.Read(Write(text)), HEX_IMAGE_SCAN_PASS_FAILED) << '"' << text << '"';
        EXPECT_EQ(image.buffer, nullptr);
    }
}

TEST_F(HexFileTest, RecordsWithoutDataBytesMoveNoBound) {
    Image image;
    ASSERT_EQ(image.Read(Write(Data(0x8000, {}) + Data(0x100, {0x42}) + Data(0x10, {}) + kEnd)),
              HEX_IMAGE_READY);
    EXPECT_EQ(image.base, 0x100u);
    EXPECT_EQ(image.Bytes(), std::vector<uint8_t>{0x42});
}

TEST_F(HexFileTest, KeptImageGrowsIntoANewBufferThatHoldsTheOldBytes) {
    Image image;
    ASSERT_EQ(image.Read(Write(Data(0, {1, 2, 3}) + kEnd)), HEX_IMAGE_READY);
    uint8_t* const old = image.buffer;
    // The file's bytes go to positions relative to its own lowest address;
    // what it does not set keeps the old bytes.
    ASSERT_EQ(image.Read(Write(Linear(0x0002) + Data(0x10, {0x10}) + Data(0x15, {0x15}) + kEnd,
                               "larger.hex"),
                         1),
              HEX_IMAGE_READY);
    ASSERT_NE(image.buffer, old);
    free(old); // the old buffer stays the caller's
    EXPECT_EQ(image.base, 0x00020010u);
    EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{0x10, 2, 3, 0xFF, 0xFF, 0x15}));
    EXPECT_EQ(image.Spare(), Repeat(0xFF, 3));
}

TEST_F(HexFileTest, KeptImageIsOverwrittenInPlaceWithoutErasing) {
    Image image;
    ASSERT_EQ(image.Read(Write(Data(0x100, {1, 2, 3, 4, 5, 6, 7, 8}) + kEnd)), HEX_IMAGE_READY);
    uint8_t* const before = image.buffer;

    ASSERT_EQ(image.Read(Write(Data(0x500, {0xEE}) + Data(0x503, {0xDD}) + kEnd, "small.hex"), 1),
              HEX_IMAGE_READY);
    EXPECT_EQ(image.buffer, before);
    EXPECT_EQ(image.size, 8u); // the size stays that of the larger buffer
    EXPECT_EQ(image.base, 0x500u);
    EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{0xEE, 2, 3, 0xDD, 5, 6, 7, 8}));

    // A kept image that does not exist yet is made as a new one.
    Image fresh;
    fresh.size = 100;
    ASSERT_EQ(fresh.Read(Write(Data(0, {9, 9}) + kEnd, "fresh.hex"), 1), HEX_IMAGE_READY);
    EXPECT_EQ(fresh.size, 2u);
    EXPECT_EQ(fresh.Bytes(), (std::vector<uint8_t>{9, 9}));
}

TEST_F(HexFileTest, ScanReportsTheLowestAndEndAddress) {
    uint32_t lowest = 0;
    uint32_t end = 0;
    ASSERT_EQ(Scan(Write(Linear(0x0800) + Data(0x0200, Repeat(0, 16)) + Data(0x0100, {1}) +
                         Data(0x0300, Repeat(0, 7)) + kEnd),
                   &lowest, &end),
              HEX_OK);
    EXPECT_EQ(lowest, 0x08000100u);
    EXPECT_EQ(end, 0x08000307u);
}

TEST_F(HexFileTest, FillPassOutputs) {
    // Lowest is the lowest absolute address also when base is not 0;
    // highest is relative to base; the byte sum covers the whole capacity.
    const std::string path = Write(Data(0x1000, {0x10, 0x20}) + Data(0x1800, {0x30}) + kEnd);
    std::vector<uint8_t> buffer(0x804);
    HexParseOutput out;
    ASSERT_EQ(ParseHexFile(path.c_str(), nullptr, buffer.data(), 0x804, 0, 0x00, 0x1000, &out),
              HEX_OK);
    EXPECT_EQ(out.lowest, 0x1000u);
    EXPECT_EQ(out.highest, 0x800u);
    EXPECT_EQ(out.byteSum, 0x60u);
    EXPECT_EQ(out.recordCount, 3u);

    // Every read counts, also the empty one that runs into the end of a file
    // ending in a line break.
    ASSERT_EQ(
        ParseHexFile(Write(Data(0, {1}) + Data(1, {2})).c_str(), "", nullptr, 0, 0, 0xFF, 0, &out),
        HEX_OK);
    EXPECT_EQ(out.recordCount, 3u);
    EXPECT_EQ(out.highest, 2u);
    ASSERT_EQ(ParseHexFile(Write(Data(0, {1}) + Data(1, {2}) + kEnd + "\n\n").c_str(), "", nullptr,
                           0, 0, 0xFF, 0, &out),
              HEX_OK);
    EXPECT_EQ(out.recordCount, 3u);
}

TEST_F(HexFileTest, LongRunsOfCharactersAreCutInto1023CharacterTokens) {
    // Pairs of '0' keep the checksum, so the padded record stays valid.
    const std::string record = Record(0, 0x40, {0xAA, 0xBB});
    const std::string exact = record + std::string(1023 - record.size(), '0');
    uint32_t lowest = 0;
    uint32_t end = 0;
    HexParseOutput out;

    // The end record right behind it is read as a token of its own.
    const std::string fits = Write(exact + ":00000001FF\n" + Data(0, {1}));
    ASSERT_EQ(ParseHexFile(fits.c_str(), "", nullptr, 0, 0, 0xFF, 0, &out), HEX_OK);
    EXPECT_EQ(out.recordCount, 2u);
    EXPECT_EQ(Scan(fits, &lowest, &end), HEX_OK);
    EXPECT_EQ(lowest, 0x40u);
    EXPECT_EQ(end, 0x42u);
    Image image;
    ASSERT_EQ(image.Read(fits), HEX_IMAGE_READY);
    EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{0xAA, 0xBB}));

    // One character more and the second token starts with that character.
    EXPECT_EQ(Scan(Write(exact + "0:00000001FF")), HEX_SYNTAX_ERROR);
    // A token of exactly 1023 characters at the very end of the file.
    EXPECT_EQ(Scan(Write(exact), &lowest, &end), HEX_OK);
    EXPECT_EQ(end, 0x42u);
}

TEST_F(HexFileTest, TokensAcrossTheReadersChunkBoundaryKeepTheirWidth) {
    // The reader takes the file in 64 KiB reads; blanks in front move a
    // 1023-character record across that boundary at several points.
    const std::string record = Record(0, 0x40, {0xAA, 0xBB});
    const std::string exact = record + std::string(1023 - record.size(), '0');
    constexpr size_t kChunk = 64 * 1024;
    for (const size_t before : {size_t{1}, size_t{11}, size_t{512}, size_t{1022}, size_t{1023}}) {
        SCOPED_TRACE(before);
        const std::string blanks(kChunk - before, ' ');
        uint32_t lowest = 0;
        uint32_t end = 0;
        EXPECT_EQ(Scan(Write(blanks + exact + ":00000001FF"), &lowest, &end), HEX_OK);
        EXPECT_EQ(lowest, 0x40u);
        EXPECT_EQ(end, 0x42u);
        EXPECT_EQ(Scan(Write(blanks + exact + "0:00000001FF")), HEX_SYNTAX_ERROR);
        Image image;
        ASSERT_EQ(image.Read(Write(blanks + exact + "\n" + kEnd)), HEX_IMAGE_READY);
        EXPECT_EQ(image.Bytes(), (std::vector<uint8_t>{0xAA, 0xBB}));
    }
}

TEST_F(HexFileTest, MalformedRecordsAreSyntaxErrors) {
    const struct {
        const char* what;
        std::string record;
    } cases[] = {
        {"only a colon", ":"},
        {"shorter than a record", ":000000"},
        {"ten characters", ":00000001F"},
        // The checksums are right: each record would pass without the checks
        // on its length and its characters.
        {"count larger than the data", RawRecord(0x10, 0, 0, {1, 2, 3, 4})},
        {"count one larger", RawRecord(3, 0, 0, {1, 2})},
        {"non-hex digit counted as 0", ":01000000G0FF"},
        {"blank-free junk inside", ":01000000-0FF"},
        {"extended linear address without digits", ":00000004FC"},
        {"extended segment address without digits", ":00000002FE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Scan(Write(Data(0, {1}) + c.record + "\n" + kEnd)), HEX_SYNTAX_ERROR);
    }
    // A byte count smaller than the data present is taken as given.
    Image image;
    ASSERT_EQ(image.Read(Write(RawRecord(1, 0, 0, {7, 8, 9}) + "\n" + kEnd)), HEX_IMAGE_READY);
    EXPECT_EQ(image.Bytes(), std::vector<uint8_t>{7});
}

TEST_F(HexFileTest, DataMustEndBelowFourGigabytes) {
    uint32_t lowest = 0;
    uint32_t end = 0;
    ASSERT_EQ(Scan(Write(Linear(0xFFFF) + Data(0xFFF0, Repeat(0x5C, 15)) + kEnd), &lowest, &end),
              HEX_OK);
    EXPECT_EQ(lowest, 0xFFFFFFF0u);
    EXPECT_EQ(end, 0xFFFFFFFFu);
    Image image;
    ASSERT_EQ(image.Read(Write(Linear(0xFFFF) + Data(0xFFF0, Repeat(0x5C, 15)) + kEnd)),
              HEX_IMAGE_READY);
    EXPECT_EQ(image.size, 15u);

    // A byte at 0xFFFFFFFF, or a record that would wrap round to 0.
    for (size_t count : {16, 32, 255}) {
        SCOPED_TRACE(count);
        const std::string path = Write(Linear(0xFFFF) + Data(0xFFF0, Repeat(0x5C, count)) + kEnd);
        EXPECT_EQ(Scan(path), HEX_BUFFER_SIZE_ERROR);
        EXPECT_EQ(image.Read(path), HEX_IMAGE_SCAN_PASS_FAILED);
    }
}

TEST_F(HexFileTest, HugeSpanIsRefusedBeforeAnyAllocation) {
    // 512 MiB between two bytes: no buffer is made (the call returns at once),
    // in either mode, and the caller's variables stay.
    const std::string path = Write(Data(0, {1}) + Linear(0x2000) + Data(0, {2}) + kEnd);
    for (uint8_t keep : {0, 1}) {
        Image image;
        EXPECT_EQ(image.Read(path, keep), HEX_IMAGE_NO_MEMORY_FOR_NEW);
        EXPECT_EQ(image.buffer, nullptr);
        EXPECT_EQ(image.size, 0u);
    }
    // An image of exactly the limit is still made.
    Image largest;
    ASSERT_EQ(largest.Read(Write(Data(0, {1}) + Linear(0x0FFF) + Data(0xFFFF, {2}) + kEnd)),
              HEX_IMAGE_READY);
    ASSERT_EQ(largest.size, kHexImageMaxSize);
    EXPECT_EQ(largest.buffer[0], 1);
    EXPECT_EQ(largest.buffer[1], 0xFF);
    EXPECT_EQ(largest.buffer[kHexImageMaxSize - 1], 2);
    EXPECT_EQ(largest.Spare(), Repeat(0xFF, 3));
    Image beyond;
    EXPECT_EQ(beyond.Read(Write(Data(0, {1}) + Linear(0x1000) + Data(0, {2}) + kEnd)),
              HEX_IMAGE_NO_MEMORY_FOR_NEW);
}

TEST_F(HexFileTest, FillPassNeverWritesOutsideItsCapacity) {
    // Exactly sized vectors: AddressSanitizer sees any stray write.
    const std::string crossing = Write(Data(0x100, Repeat(1, 8)) + kEnd);
    std::vector<uint8_t> small(7);
    EXPECT_EQ(ParseHexFile(crossing.c_str(), nullptr, small.data(), 7, 0, 0xFF, 0x100, nullptr),
              HEX_BUFFER_SIZE_ERROR);

    const std::string beyond = Write(Data(0x100, {1}) + Data(0x108, {2}) + kEnd);
    EXPECT_EQ(ParseHexFile(beyond.c_str(), nullptr, small.data(), 7, 0, 0xFF, 0x100, nullptr),
              HEX_BUFFER_OVERFLOW);
    // A record starting right at the capacity is inside by the first test
    // and outside by the second.
    std::vector<uint8_t> eight(8);
    EXPECT_EQ(ParseHexFile(beyond.c_str(), nullptr, eight.data(), 8, 0, 0xFF, 0x100, nullptr),
              HEX_BUFFER_SIZE_ERROR);
    // Data below the base wraps round to a huge relative address.
    EXPECT_EQ(ParseHexFile(crossing.c_str(), nullptr, small.data(), 7, 0, 0xFF, 0x101, nullptr),
              HEX_BUFFER_OVERFLOW);
}

TEST_F(HexFileTest, TemporaryFileModeMatchesTheBufferMode) {
    const std::string path =
        Write(Linear(0x0001) + Data(0x0010, {1, 2, 3}) + Data(0x0020, {0xF0, 0xF1}) + kEnd);
    const uint32_t capacity = 0x20;
    std::vector<uint8_t> buffer(capacity);
    HexParseOutput inBuffer;
    ASSERT_EQ(
        ParseHexFile(path.c_str(), nullptr, buffer.data(), capacity, 0, 0xA5, 0x10008, &inBuffer),
        HEX_OK);

    const std::string temp = dir_.file("image.tmp");
    HexParseOutput inFile;
    ASSERT_EQ(
        ParseHexFile(path.c_str(), temp.c_str(), nullptr, capacity, 0, 0xA5, 0x10008, &inFile),
        HEX_OK);
    EXPECT_EQ(ReadFile(temp), std::string(buffer.begin(), buffer.end()));
    EXPECT_EQ(inFile.byteSum, inBuffer.byteSum);
    EXPECT_EQ(inFile.lowest, inBuffer.lowest);
    EXPECT_EQ(inFile.highest, inBuffer.highest);

    // Kept: the existing file is updated, not cut short or erased.
    WriteFile(temp, std::string(0x30, 'k'));
    ASSERT_EQ(
        ParseHexFile(path.c_str(), temp.c_str(), nullptr, capacity, 1, 0xA5, 0x10008, &inFile),
        HEX_OK);
    std::string expected(0x30, 'k');
    expected.replace(8, 3, "\x01\x02\x03");
    expected.replace(0x18, 2, "\xF0\xF1");
    EXPECT_EQ(ReadFile(temp), expected);
    uint32_t sum = 0;
    for (size_t i = 0; i < capacity; ++i) {
        sum += static_cast<uint8_t>(expected[i]);
    }
    EXPECT_EQ(inFile.byteSum, sum);

    // Kept, but not there yet: it is created.
    const std::string fresh = dir_.file("fresh.tmp");
    ASSERT_EQ(
        ParseHexFile(path.c_str(), fresh.c_str(), nullptr, capacity, 1, 0xA5, 0x10008, &inFile),
        HEX_OK);
    EXPECT_EQ(ReadFile(fresh).substr(8, 3), "\x01\x02\x03");

    const std::string nowhere = dir_.file("no/such/dir.tmp");
    for (uint8_t keep : {0, 1}) {
        EXPECT_EQ(ParseHexFile(path.c_str(), nowhere.c_str(), nullptr, capacity, keep, 0xFF,
                               0x10008, nullptr),
                  HEX_CREATE_FILE_ERROR);
    }
    // The temporary file comes before the input file.
    EXPECT_EQ(ParseHexFile(dir_.file("missing.hex").c_str(), nowhere.c_str(), nullptr, capacity, 0,
                           0xFF, 0, nullptr),
              HEX_CREATE_FILE_ERROR);
}

TEST_F(HexFileTest, StreamsAreParsedLikeFiles) {
    const std::string text = Linear(0x0040) + Data(0x10, {1, 2}) + kEnd;
    FILE* stream = testfiles::OpenTextStream(text);
    ASSERT_NE(stream, nullptr);
    HexParseOutput out;
    EXPECT_EQ(ParseHexStream(stream, "", nullptr, 0, 0, 0xFF, 0, &out), HEX_OK);
    EXPECT_EQ(out.lowest, 0x00400010u);
    EXPECT_EQ(out.highest, 0x00400012u);
    fclose(stream);

    // A directory opens but cannot be read: that is no empty file.
    EXPECT_EQ(Scan(dir_.path()), HEX_OPEN_INPUT_ERROR);
}

} // namespace
