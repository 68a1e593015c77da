// How ulvex names the end of a board's session from its indications.
#include "Outcome.h"

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
