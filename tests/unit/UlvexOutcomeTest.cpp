// How ulvex reads a board's indications: where its session stands and
// how it ended.
#include "Outcome.h"
#include "Progress.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct OutcomeRow {
    std::vector<uint16_t> codes;
    const char* result;
    bool ok;
};

const OutcomeRow kOutcomeRows[] = {
    {{START_PROGRAM_IND, CRC_OK_IND, RESET_TARGET_IND, STOP_PROGRAM_IND}, "verified", true},
    {{START_PROGRAM_IND, CRC_ERROR_IND, STOP_PROGRAM_IND}, "crc-mismatch", false},
    {{START_PROGRAM_IND, COM_PORT_ACCESS_FAIL_IND, STOP_PROGRAM_IND}, "port-error", false},
    {{START_PROGRAM_IND, DOWNLOAD_FAILED_IND, STOP_PROGRAM_IND}, "download-failed", false},
    // The first failure decides: the mail error that follows a failed CRC
    // read does not hide it, nor a later CRC.
    {{START_PROGRAM_IND, MAIL_ERROR_IND, CRC_OK_IND, STOP_PROGRAM_IND}, "mail-error", false},
    {{START_PROGRAM_IND, HEX_FILE_ERROR_IND, STOP_PROGRAM_IND}, "image-error", false},
    {{START_PROGRAM_IND, PROGRAMMING_SUCCESS_IND, STOP_PROGRAM_IND}, "not-verified", false},
    {{START_PROGRAM_IND, CRC_OK_IND}, "interrupted", false},
};

} // namespace

TEST(UlvexOutcomeTest, FirstDecidingIndicationNamesTheResult) {
    for (const OutcomeRow& row : kOutcomeRows) {
        ulvex::OutcomeTracker tracker;
        for (uint16_t code : row.codes) {
            IndicationRecord record{};
            record.code = code;
            tracker.Take(record);
        }
        const ulvex::Outcome o = tracker.Result();
        EXPECT_EQ(o.result, row.result) << row.codes.size() << " codes";
        EXPECT_EQ(o.ok, row.ok) << row.result;
    }
}

// Where a board stands for the live view and the plain lines: the stage,
// the tenths and bytes of the image done, from indications with a long.
struct ProgressRow {
    std::vector<std::pair<uint16_t, uint32_t>> indications; // code, its long
    const char* stage;
    int tenths;
    uint32_t done;
};

const ProgressRow kProgressRows[] = {
    {{{START_PROGRAM_IND, 0}}, "starting", -1, 0},
    // Progress counts from the image's lowest address, never past its size.
    {{{PROGRAM_SIZE_IND, 0x1000}, {PROGRAM_OFFSET_IND, 0x80000}, {PROGRAM_PROGRESS_IND, 0x80400}},
     "programming",
     2,
     0x400},
    {{{PROGRAM_SIZE_IND, 0x1000}, {PROGRAM_OFFSET_IND, 0x80000}, {PROGRAM_PROGRESS_IND, 0x90000}},
     "programming",
     10,
     0x1000},
    // An address that went back does not take back what was done.
    {{{PROGRAM_SIZE_IND, 0x1000}, {PROGRAM_PROGRESS_IND, 0x800}, {PROGRAM_PROGRESS_IND, 0x100}},
     "programming",
     5,
     0x800},
    {{{PROGRAM_SIZE_IND, 0x1000},
      {PROGRAMMING_SUCCESS_IND, 0},
      {CRC_OK_IND, 0},
      {RESET_TARGET_IND, 0}},
     "restarting",
     10,
     0x1000},
    // The first failure names the stage; what follows it is cleanup.
    {{{CRC_ERROR_IND, 0}, {MAIL_ERROR_IND, 0}, {RESET_TARGET_IND, 0}}, "crc-mismatch", -1, 0},
    {{{COM_PORT_SEARCHING_IND, 0}, {COM_PORT_SEARCHING_TIMEOUT_IND, 0}}, "no-boot-loader", -1, 0},
};

TEST(UlvexOutcomeTest, ProgressNamesTheStageAndCountsTheImage) {
    for (const ProgressRow& row : kProgressRows) {
        ulvex::BoardProgress progress;
        for (const auto& [code, value] : row.indications) {
            IndicationRecord record{};
            record.code = code;
            record.param.longs[0] = value;
            progress.Take(record, ulvex::Clock::now());
        }
        EXPECT_EQ(progress.Stage() + " " + std::to_string(progress.Tenths()) + " " +
                      std::to_string(progress.Done()),
                  std::string(row.stage) + " " + std::to_string(row.tenths) + " " +
                      std::to_string(row.done))
            << row.indications.size() << " indications";
    }
}
