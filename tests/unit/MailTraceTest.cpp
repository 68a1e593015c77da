// The decoded mail trace lines and the receiver's guard of its output area.
#include "link/MailTrace.h"
#include "MailFrames.h"
#include "link/MailReceiver.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using testframes::Frame;

std::string Line(uint8_t sequence, const std::vector<uint8_t>& payload) {
    const auto f = Frame(sequence, payload);
    return MailTraceLine(f.data(), static_cast<uint32_t>(f.size()));
}

} // namespace

TEST(MailTraceTest, TransfersShowAddressCountAndData) {
    EXPECT_EQ(Line(5, {0x01, 0x78, 0x56, 0x34, 0x12, 0x10, 0x00}),
              "<-- Lg[010] [05 00 00] READ_MEM8_REQ [(12345678).(0010)()] \n");
    EXPECT_EQ(Line(0, {0x03, 0x00, 0x10, 0, 0, 0x02, 0x00, 0xAA, 0xBB}),
              "<-- Lg[012] [00 00 00] WRITE_MEM8_REQ [(00001000).(0002)(AA BB )] \n");
    EXPECT_EQ(Line(255, {0x07, 0x00, 0x10, 0, 0, 0x02, 0x00, 0x34, 0x12, 0xCD, 0xAB}),
              "<-- Lg[014] [FF 00 00] WRITE_MEM16_REQ [(00001000).(0002).(1234 ABCD )] \n");
    EXPECT_EQ(Line(1, {0x0D, 0, 0, 0, 0x01, 0x01, 0x00, 0xFF, 0x00}),
              "<-- Lg[012] [01 00 00] PROG_EXT_2FLASH8_REQ [(01000000).(0001).(00FF )] \n");
    EXPECT_EQ(Line(7, {0x06, 0x34, 0x12, 0x78, 0x56}),
              "--> Lg[008] [07 00 00] READ_MEM16_RES [1234 5678 ] \n");
}

TEST(MailTraceTest, AddressAndRangeRequests) {
    EXPECT_EQ(Line(2, {0x0F, 0x00, 0x00, 0x01, 0x00}),
              "<-- Lg[008] [02 00 00] EXT_SECTOR_ERASE_REQ [(00010000)] \n");
    EXPECT_EQ(Line(2, {0x19, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0}),
              "<-- Lg[012] [02 00 00] CALC_CRC32_REQ [(00000000).(0000FFFF) ] \n");
    EXPECT_EQ(Line(3, {0x1D, 0, 0, 0, 1, 0x54, 0x55, 0, 1, 0xAA, 0xAA, 0, 1}),
              "<-- Lg[016] [03 00 00] SET_FLASH_PROG_CMD_ADDRESS_REQ "
              "[(01000000).(01005554).(0100AAAA)] \n");
    EXPECT_EQ(Line(4, {0x15}), "<-- Lg[004] [04 00 00] EXT_FLASH_TYPE_REQ [] \n");
}

TEST(MailTraceTest, OtherPrimitivesShowTheirBytes) {
    EXPECT_EQ(Line(9, {0x04, 0x01}), "--> Lg[005] [09 00 00] WRITE_MEM8_CFM [01 ] \n");
    EXPECT_EQ(Line(9, {0x02, 0xDE, 0xAD}), "--> Lg[006] [09 00 00] READ_MEM8_RES [DE AD ] \n");
    EXPECT_EQ(Line(9, {0x5D, 0, 0, 0}),
              "<-- Lg[007] [09 00 00] ## UNKNOWN PRIMITIVE (5D) ## [00 00 00 ] \n");
}

TEST(MailTraceTest, TruncatedFramesAreReadOnlyAsFarAsTheyGo) {
    auto f = Frame(1, {0x07, 0x00, 0x10, 0, 0, 0x10, 0x00, 0x34, 0x12});
    EXPECT_EQ(MailTraceLine(f.data(), 6), "");
    // Cut inside the data: the words present, and no read past the end.
    std::vector<uint8_t> cut(f.begin(), f.begin() + 15);
    EXPECT_EQ(MailTraceLine(cut.data(), static_cast<uint32_t>(cut.size())),
              "<-- Lg[012] [01 00 00] WRITE_MEM16_REQ [(00001000).(0010).(1234 )] \n");
}

TEST(MailTraceTest, ReceiverRefusesPayloadBeyondItsArea) {
    MailReceiver r;
    std::vector<uint8_t> area(4);
    ReceiverStart(r, area.data(), static_cast<uint32_t>(area.size()));
    const auto f = Frame(0, {0x02, 1, 2, 3, 4, 5});
    int result = -1;
    for (uint8_t b : f) {
        result = ReceiverFeed(r, b);
        if (result != -1) {
            break;
        }
    }
    EXPECT_EQ(result, 2);
    EXPECT_EQ(r.stored, 4u);
}
