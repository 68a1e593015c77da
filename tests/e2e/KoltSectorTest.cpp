// KOLT sessions at the limits of the erase units and segment counts, and
// the touched-sector types that erase and verify window by window.
#include "KoltSessionFixture.h"

// Image sizes at the limits of the erase units and of the segment count, as
// sparse images (a few bytes at either end) so that little is programmed.
struct SizeLimit {
    uint32_t size;
    std::vector<uint16_t> eraseCommands;
    uint16_t segments;
};

class KoltSizeLimitTest : public KoltSessionTest,
                          public ::testing::WithParamInterface<SizeLimit> {};

TEST_P(KoltSizeLimitTest, ErasesTheUnitsAndSetsTheSegmentsTheSizeReaches) {
    const SizeLimit& param = GetParam();
    vtarget::BoardOptions options;
    options.targetType = 0; // a third-revision KOLT-A: configurable
    StartBoard(options);
    const std::vector<Piece> pieces = {
        {kFlashBase, testfiles::RandomBytes(4, 50)},
        {kFlashBase + param.size - 4, testfiles::RandomBytes(4, 51)}};
    const auto codes = RunSession(0, HexImage("sparse", pieces), 25);
    ExpectFlashHolds(pieces[0].bytes, pieces[0].address);
    ExpectFlashHolds(pieces[1].bytes, pieces[1].address);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_THAT(EraseCommands(), ElementsAreArray(param.eraseCommands));
    EXPECT_THAT(WritesTo(kFlashConfig), ElementsAre(param.segments));
    EXPECT_THAT(Board().InfoBlockWrites(),
                ElementsAre(vtarget::WordWrite{0x080002, 0x5070},
                            vtarget::WordWrite{0x080008, 0x5A7A},
                            vtarget::WordWrite{0x08000A, param.segments}));
    EXPECT_THAT(ReceivedCodes(), Contains(PROG_INT_FLASH_REQ).Times(2));
}

INSTANTIATE_TEST_SUITE_P(Kolt, KoltSizeLimitTest,
                         ::testing::Values(SizeLimit{0x3FFFF, {0x000B, 0x008B}, 2},
                                           SizeLimit{0x40000, {0x000B, 0x0007, 0x008B, 0x0087}, 3},
                                           SizeLimit{0xE0000,
                                                     {0x000B, 0x0007, 0x0007, 0x0007, 0x008B,
                                                      0x0087, 0x0087, 0x0087},
                                                     8}),
                         [](const ::testing::TestParamInfo<SizeLimit>& info) {
                             char name[32];
                             std::snprintf(name, sizeof name, "Size%05X", info.param.size);
                             return std::string(name);
                         });

TEST_F(KoltSessionTest, TouchedSectorsVerifyFullWindowsOnly) {
    constexpr uint32_t kStart = 0x081000; // a sector boundary above the flash base
    vtarget::BoardOptions options;
    options.targetType = 13;
    StartBoard(options);
    const std::vector<Piece> pieces = {{kStart, testfiles::RandomBytes(0x2800, 60)}};
    const auto codes = RunSession(13, HexImage("image", pieces), 26);
    ExpectFlashHolds(pieces[0].bytes, kStart);
    EXPECT_THAT(Collapsed(codes),
                ElementsAreArray(Expected(
                    {kText, kText, kText, kText},
                    {FLASHTYPE_IND, kText, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND, CRC_OK_IND,
                     ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND, CRC_OK_IND, ERASE_SECTOR_IND,
                     PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, RESET_TARGET_IND})));
    using Range = std::pair<uint32_t, uint32_t>;
    std::vector<uint32_t> erased;
    for (const Range& r : RequestsOf(EXT_SECTOR_ERASE_REQ)) {
        erased.push_back(r.first);
    }
    EXPECT_THAT(erased, ElementsAre(kStart, kStart + 0x1000, kStart + 0x2000));
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ), ElementsAre(Range{kStart, kStart + 0xFFE},
                                                        Range{kStart + 0x1000, kStart + 0x1FFE}));
    for (const auto& i : IndicationsOf(26)) {
        if (i.code == CRC_OK_IND) {
            EXPECT_EQ(i.long0, i.long1);
        }
    }
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(kStart));
}

TEST_F(KoltSessionTest, TouchedSectorsVerifyAnOddImageEndingAtAWindowEnd) {
    vtarget::BoardOptions options;
    options.targetType = 13;
    StartBoard(options);
    // The last word takes the 0xFF after the image and fills window two.
    const std::vector<Piece> pieces = {{kFlashBase, testfiles::RandomBytes(0x1FFF, 61)}};
    const auto codes = RunSession(13, HexImage("image", pieces), 27);
    ExpectFlashHolds(pieces[0].bytes, kFlashBase);
    EXPECT_EQ(Board().ReadMemory(kFlashBase + 0x1FFF, 1), std::vector<uint8_t>{0xFF});
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(Expected(
                                      {kText, kText, kText, kText},
                                      {FLASHTYPE_IND, kText, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND,
                                       CRC_OK_IND, ERASE_SECTOR_IND, PROGRAM_PROGRESS_IND,
                                       CRC_OK_IND, PROGRAMMING_SUCCESS_IND, RESET_TARGET_IND})));
    using Range = std::pair<uint32_t, uint32_t>;
    EXPECT_THAT(RequestsOf(CALC_CRC32_REQ),
                ElementsAre(Range{kFlashBase, kFlashBase + 0xFFE},
                            Range{kFlashBase + 0x1000, kFlashBase + 0x1FFE}));
}

TEST_F(KoltSessionTest, TouchedSectorsStopAtTheWindowThatFailsItsCrc) {
    vtarget::BoardOptions options;
    options.targetType = 13;
    options.corruptWord = kFlashBase + 0x1100; // window two
    StartBoard(options);
    const std::vector<Piece> pieces = {{kFlashBase, testfiles::RandomBytes(0x3000, 62)}};
    const auto codes = RunSession(13, HexImage("image", pieces), 28);
    EXPECT_THAT(Collapsed(codes),
                ElementsAreArray(Expected({kText, kText, kText, kText},
                                          {FLASHTYPE_IND, kText, ERASE_SECTOR_IND,
                                           PROGRAM_PROGRESS_IND, CRC_OK_IND, ERASE_SECTOR_IND,
                                           PROGRAM_PROGRESS_IND, CRC_ERROR_IND, MAIL_ERROR_IND})));
    const auto indications = IndicationsOf(28);
    ASSERT_GE(indications.size(), 2u);
    EXPECT_EQ(indications[indications.size() - 2].long0 & 0xFFFF, 1u);
    for (const auto& i : indications) {
        if (i.code == CRC_ERROR_IND) {
            EXPECT_NE(i.long0, i.long1);
        }
    }
    // Window three is neither erased nor written, and the board keeps its
    // old program.
    EXPECT_EQ(RequestsOf(EXT_SECTOR_ERASE_REQ).size(), 2u);
    EXPECT_EQ(Board().ReadMemory(kFlashBase + 0x2000, 0x1000), std::vector<uint8_t>(0x1000, 0xFF));
    EXPECT_FALSE(Board().RestartAddress().has_value());
}
