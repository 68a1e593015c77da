// Indication records, their delivery on the sending thread and their log lines.
#include "frame/Indication.h"
#include "FrameFixture.h"
#include "frame/IndicationLog.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"

#include <cstddef>
#include <cstring>
#include <string>

namespace {

IndicationRecord Record(uint16_t code, uint16_t session) {
    IndicationRecord r{};
    r.code = code;
    r.sessionid = session;
    return r;
}

IndicationRecord Longs(uint16_t code, uint32_t a, uint32_t b = 0) {
    IndicationRecord r = Record(code, 3);
    r.param.longs[0] = a;
    r.param.longs[1] = b;
    return r;
}

IndicationRecord Words(uint16_t code, uint16_t a, uint16_t b = 0) {
    IndicationRecord r = Record(code, 3);
    r.param.words[0] = a;
    r.param.words[1] = b;
    return r;
}

TEST(IndicationRecordLayout, FieldsSitAtTheirOffsets) {
    EXPECT_EQ(offsetof(IndicationRecord, code), 0u);
    EXPECT_EQ(offsetof(IndicationRecord, sessionid), 2u);
    EXPECT_EQ(offsetof(IndicationRecord, param.words[1]), 6u);
    EXPECT_EQ(offsetof(IndicationRecord, param.longs[0]), 4u);
    EXPECT_EQ(offsetof(IndicationRecord, param.longs[1]), 8u);
    EXPECT_EQ(offsetof(IndicationRecord, param.text), 4u);
    EXPECT_EQ(sizeof(IndicationRecord), 516u);
}

TEST(IndicationLogLine, ParameterTextsByteForByte) {
    struct Case {
        IndicationRecord record;
        std::string text;
    } cases[] = {
        {Longs(START_PROGRAM_IND, 0x00020041),
         "START_PROGRAM_IND        [DLL version = V002.065] "},
        {Longs(STOP_PROGRAM_IND, 1500), "STOP_PROGRAM_IND         [Time 1500 msec] "},
        {Longs(PROGRAM_SIZE_IND, 0x1010), "PROGRAM_SIZE_IND         [Size=00001010] "},
        {Longs(PROGRAM_OFFSET_IND, 0x400000), "PROGRAM_OFFSET_IND       [Offset=00400000] "},
        {Longs(PROGRAM_PROGRESS_IND, 0xABCDEF), "PROGRAM_PROGRESS_IND     [Address=00ABCDEF] "},
        {Words(FLASHTYPE_IND, 0xBF, 0x2789),
         "FLASHTYPE_IND            [Manu Code=00BF] [Device ID=2789] "},
        {Longs(CRC_OK_IND, 0xCBF43926, 0xCBF43926),
         "CRC_OK_IND               [File CRC32=CBF43926] [Target CRC32=CBF43926] "},
        {Longs(CRC_ERROR_IND, 1, 2),
         "CRC_ERROR_IND            [File CRC32=00000001] [Target CRC32=00000002] "},
        {Words(MAIL_ERROR_IND, 8), "MAIL_ERROR_IND            ### MAIL ERROR[0008] ###"},
        {Words(COMPORT_CTRL_IND, 0), "COMPORT_CTRL_IND         [DTR_SET]"},
        {Words(COMPORT_CTRL_IND, 5), "COMPORT_CTRL_IND         [BREAK_CLR]"},
        {Words(COMPORT_CTRL_IND, 6), "COMPORT_CTRL_IND         ??????? [0006]"},
        {Longs(ERASE_SECTOR_IND, 0x8000), " ERASE_SECTOR_IND        [00008000] "},
        {Record(COM_PORT_SEARCHING_TIMEOUT_IND, 3), " COM_PORT_SEARCHING_TIMEOUT_IND "},
        {Record(TARGET_FOUND_IND, 3), " TARGET_FOUND_IND  "},
        {Record(SECTOR_ERASE_FINISHED_IND, 3), " SECTOR_ERASE_FINISHED_IND "},
        {Record(HEX_FILE_ERROR_IND, 3), "HEX_FILE_ERROR_IND       "},
        {Record(31, 3), "### UNKNOWN MAIL ###     "},
        {Record(0, 3), "### UNKNOWN MAIL ###     "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IndicationLogLine(c.record, 12), "\n[03][000012]MAIL->" + c.text + "\n");
    }
}

TEST(IndicationLogLine, FullTextIsLoggedWhole) {
    IndicationRecord r = Record(TEXT_INFO_IND, 0x1A);
    std::string text(511, 'x');
    std::memcpy(r.param.text, text.c_str(), text.size() + 1);
    EXPECT_EQ(IndicationLogLine(r, 123456),
              "\n[1A][123456]MAIL->TEXT_INFO_IND             [" + text + "]\n");
}

class IndicationDeliveryTest : public FrameTest {};

TEST_F(IndicationDeliveryTest, RecordsCarryTheThreadsSessionIdAndParameters) {
    Ctx().sessionId = 0x2A;
    SendIndication(CHIP_ERASE_START_IND);
    SendIndicationWord(MAIL_ERROR_IND, 9);
    SendIndicationTwoWords(FLASHTYPE_IND, 0xC2, 0x22C4);
    SendIndicationLong(PROGRAM_SIZE_IND, 0x12345678);
    SendIndicationTwoLongs(CRC_ERROR_IND, 0xAABBCCDD, 0x11223344);
    SendTextInfo("Chip %s rev %d", "KOLT-A", 3);

    auto got = Indications();
    ASSERT_EQ(got.size(), 6u);
    for (const auto& i : got) {
        EXPECT_EQ(i.sessionid, 0x2A);
    }
    EXPECT_EQ(got[0].code, CHIP_ERASE_START_IND);
    EXPECT_EQ(got[1].long0 & 0xFFFF, 9u);
    EXPECT_EQ(got[2].long0, 0x22C400C2u); // words 0xC2 at offset 4, 0x22C4 at offset 6
    EXPECT_EQ(got[3].long0, 0x12345678u);
    EXPECT_EQ(got[4].long0, 0xAABBCCDDu);
    EXPECT_EQ(got[4].long1, 0x11223344u);
    EXPECT_EQ(got[5].code, TEXT_INFO_IND);
    EXPECT_EQ(got[5].text, "Chip KOLT-A rev 3");
}

TEST_F(IndicationDeliveryTest, LongTextIsCutWithItsTerminator) {
    std::string text(600, 'y');
    SendTextInfo("%s", text.c_str());
    auto got = Indications();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, std::string(511, 'y'));
}

TEST_F(IndicationDeliveryTest, LogLinesOnlyWithMaskBit3AndACallback) {
    SetDebug(0x07);
    SetTraceMask(0x07);
    OpenTraceLog("indications.log");
    Ctx().sessionId = 1;
    SendIndication(CHIP_ERASE_START_IND); // callback gets it, no log line

    SetDebug(DEBUG_INDICATIONS);
    SendIndication(CHIP_ERASE_FINISHED_IND); // logged: bit 3 is read library-wide

    SetupCallbackFunction(nullptr);
    SendIndication(PROGRAMMING_SUCCESS_IND); // dropped, not logged
    SetTraceMask(0);

    std::string log = testfiles::ReadTextFile("indications.log");
    EXPECT_EQ(log.find("CHIP_ERASE_START_IND"), std::string::npos);
    EXPECT_NE(log.find("MAIL->CHIP_ERASE_FINISHED_IND  \n"), std::string::npos);
    EXPECT_EQ(log.find("PROGRAMMING_SUCCESS_IND"), std::string::npos);
    EXPECT_EQ(Indications().size(), 2u);
}

} // namespace
