// The indication display: every code with its parameters against the golden
// console text, and the running flag that the stop indication clears.
#include <gtest/gtest.h>

#include <cstring>

#include "IndicationDisplay.h"
#include "TestFiles.h"

namespace {

IndicationRecord Record(uint16_t code) {
    IndicationRecord record{};
    record.code = code;
    return record;
}

IndicationRecord Longs(uint16_t code, uint32_t first, uint32_t second = 0) {
    IndicationRecord record = Record(code);
    record.param.longs[0] = first;
    record.param.longs[1] = second;
    return record;
}

IndicationRecord Words(uint16_t code, uint16_t first, uint16_t second = 0) {
    IndicationRecord record = Record(code);
    record.param.words[0] = first;
    record.param.words[1] = second;
    return record;
}

std::vector<IndicationRecord> EveryCode() {
    std::vector<IndicationRecord> records;
    for (uint16_t code = 1; code <= 30; ++code) {
        switch (code) {
        case PROGRAM_SIZE_IND:
            records.push_back(Longs(code, 0x1234));
            break;
        case PROGRAM_OFFSET_IND:
            records.push_back(Longs(code, 0x80000));
            break;
        case PROGRAM_PROGRESS_IND:
            records.push_back(Longs(code, 0x80100));
            break;
        case FLASHTYPE_IND:
            records.push_back(Words(code, 0xBF, 0x2782));
            break;
        case CRC_OK_IND:
        case CRC_ERROR_IND:
            records.push_back(Longs(code, 0xDEADBEEF, 0x1234ABCD));
            break;
        case MAIL_ERROR_IND:
            records.push_back(Words(code, MAIL_CHECKSUM_ERROR));
            break;
        case STOP_PROGRAM_IND:
            records.push_back(Longs(code, 4321));
            break;
        case TEXT_INFO_IND: {
            IndicationRecord text = Record(code);
            strcpy(text.param.text, "flash: SST39VF160");
            records.push_back(text);
            break;
        }
        case COMPORT_CTRL_IND:
            for (uint16_t action = 0; action <= 6; ++action) {
                records.push_back(Words(code, action));
            }
            break;
        case ERASE_SECTOR_IND:
            records.push_back(Longs(code, 0x81000));
            break;
        default:
            records.push_back(Record(code));
        }
    }
    for (uint16_t unknown : {0, 31, 0xFFFF}) {
        records.push_back(Record(unknown));
    }
    return records;
}

} // namespace

TEST(IndicationDisplayTest, PrintsEveryCodeAsTheConsoleShowsIt) {
    testing::internal::CaptureStdout();
    for (auto record : EveryCode()) {
        DisplayIndication(&record);
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, testfiles::ReadFile(std::string(VORN_GOLDEN_DIR) + "/display.txt"));
}

TEST(IndicationDisplayTest, TextWithoutTerminatorStopsAtTheRecordsEnd) {
    IndicationRecord record = Record(TEXT_INFO_IND);
    memset(record.param.text, 'x', sizeof record.param.text);
    testing::internal::CaptureStdout();
    DisplayIndication(&record);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.size(), strlen("\n TEXT_INFO_IND            []") + INDICATION_TEXT_SIZE);
}

TEST(IndicationDisplayTest, StopClearsTheRunningFlagOfItsSessionOnly) {
    SetSessionRunning(0, true);
    SetSessionRunning(7, true);
    IndicationRecord stop = Longs(STOP_PROGRAM_IND, 10);
    stop.sessionid = 7;
    testing::internal::CaptureStdout();
    DisplayIndication(&stop);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(SessionRunning(0));
    EXPECT_FALSE(SessionRunning(7));
}
