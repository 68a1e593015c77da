// The indication display: one console line per indication. Progress lines
// start with a carriage return so that they overwrite each other; every
// other line starts on a new one.
#include "IndicationDisplay.h"

#include <array>
#include <atomic>
#include <cstdio>

namespace {

// One flag per possible session id; Vorn itself only runs session 0.
std::array<std::atomic<uint16_t>, 0x10000> runningFlags{};

// Labels of codes 1 to 30, each padded as the console columns expect.
constexpr std::array<const char*, 31> kLabels = {
    nullptr,
    " START_PROGRAM_IND        ",
    " LOADER_ID_UNKNOWN_IND    ",
    " COM_PORT_ACCESS_FAIL_IND ",
    " READY_TO_DOWNLOAD_IND    ",
    " START_DOWNLOADER_IND     ",
    " DOWNLOAD_SUCCESS_IND     ",
    " DOWNLOAD_FAILED_IND      ",
    " HEX_FILE_ERROR_IND       ",
    " PROGRAM_SIZE_IND         ",
    " PROGRAM_OFFSET_IND       ",
    " COMMUNICATION_ERROR_IND  ",
    " PROGRAM_PROGRESS_IND     ",
    " FLASHTYPE_IND            ",
    " CHIP_ERASE_START_IND     ",
    " CHIP_ERASE_FINISHED_IND  \n",
    " PROGRAMMING_SUCCESS_IND  ",
    " CRC_OK_IND               ",
    " CRC_ERROR_IND            ",
    " RESET_TARGET_IND         ",
    " MAIL_ERROR_IND           ",
    " STOP_PROGRAM_IND         ",
    " TEXT_INFO_IND            ",
    " COMPORT_CTRL_IND         ",
    " COM_PORT_SEARCHING_IND   ",
    " COM_PORT_SEARCHING_TIMEOUT_IND ",
    " COM_PORT_FOUND_IND       ",
    " ERASE_SECTOR_IND         ",
    " TARGET_FOUND_IND  ",
    " SECTOR_ERASE_START_IND  ",
    " SECTOR_ERASE_FINISHED_IND ",
};

unsigned long Long(const IndicationRecord& record, int index) {
    return record.param.longs[index];
}

unsigned Word(const IndicationRecord& record, int index) {
    return record.param.words[index];
}

void PrintComportAction(unsigned action) {
    static constexpr std::array<const char*, 6> kActions = {
        "[DTR_SET]", "[DTR_CLR]", "[RTS_SET]", "[RTS_CLR]", "[BREAK_SET]", "[BREAK_CLR]",
    };
    if (action < kActions.size()) {
        fputs(kActions[action], stdout);
        return;
    }
    printf("[??????? [%04X]]", action);
}

// What follows the label of the codes that carry parameters.
void PrintParameters(const IndicationRecord& record) {
    switch (record.code) {
    case PROGRAM_SIZE_IND:
        printf("[Size=%08lX]", Long(record, 0));
        break;
    case PROGRAM_OFFSET_IND:
        printf("[Offset=%08lX]", Long(record, 0));
        break;
    case PROGRAM_PROGRESS_IND:
        printf("[Addr=%08lX]", Long(record, 0));
        break;
    case FLASHTYPE_IND:
        printf("[Manu.Code=%04X][Device ID=%04X]", Word(record, 0), Word(record, 1));
        break;
    case CRC_OK_IND:
        printf("[File=%08lX][Target=%08lX]", Long(record, 0), Long(record, 1));
        break;
    case CRC_ERROR_IND:
        printf("[File=%08lX][Target=%08lX]\n", Long(record, 0), Long(record, 1));
        fputs("\n#########    CRC32  ERROR   #########\n", stdout);
        break;
    case MAIL_ERROR_IND:
        printf(" ### MAIL ERROR[%04X] ###", Word(record, 0));
        break;
    case STOP_PROGRAM_IND:
        printf("[Time %d msec] ", static_cast<int>(record.param.longs[0]));
        break;
    case TEXT_INFO_IND:
        // The library terminates the text; the bound keeps a faulty record
        // from running past the record.
        printf("[%.*s]", INDICATION_TEXT_SIZE, record.param.text);
        break;
    case COMPORT_CTRL_IND:
        PrintComportAction(Word(record, 0));
        break;
    case COM_PORT_SEARCHING_IND:
    case COM_PORT_SEARCHING_TIMEOUT_IND:
    case COM_PORT_FOUND_IND:
    case TARGET_FOUND_IND:
    case SECTOR_ERASE_START_IND:
    case SECTOR_ERASE_FINISHED_IND:
        fputs("\n", stdout);
        break;
    case ERASE_SECTOR_IND:
        printf("[%08lX]\n", Long(record, 0));
        break;
    default:
        break;
    }
}

} // namespace

void ULVEX_CALL DisplayIndication(IndicationRecord* record) {
    if (record == nullptr) {
        return;
    }
    fputs(record->code == PROGRAM_PROGRESS_IND ? "\r" : "\n", stdout);
    if (record->code == 0 || record->code >= kLabels.size()) {
        printf(" ### UNKNOWN MAIL ###     Primitive = %04X ", record->code);
    } else {
        fputs(kLabels[record->code], stdout);
        PrintParameters(*record);
    }
    // Progress lines carry no line feed: show them as they come.
    fflush(stdout);
    if (record->code == STOP_PROGRAM_IND) {
        SetSessionRunning(record->sessionid, false);
    }
}

void SetSessionRunning(uint16_t sessionId, bool running) {
    runningFlags[sessionId].store(running ? 1 : 0, std::memory_order_release);
}

bool SessionRunning(uint16_t sessionId) {
    return runningFlags[sessionId].load(std::memory_order_acquire) == 1;
}
