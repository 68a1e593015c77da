#include "frame/IndicationLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// Name texts, fixed width with their blanks, indexed by code 1 to 30.
constexpr const char* kNameTexts[] = {
    "START_PROGRAM_IND        ",        "LOADER_ID_UNKNOWN_IND    ",
    "COM_PORT_ACCESS_FAIL_IND ",        "READY_TO_DOWNLOAD_IND    ",
    "START_DOWNLOADER_IND     ",        "DOWNLOAD_SUCCESS_IND     ",
    "DOWNLOAD_FAILED_IND      ",        "HEX_FILE_ERROR_IND       ",
    "PROGRAM_SIZE_IND         ",        "PROGRAM_OFFSET_IND       ",
    "COMMUNICATION_ERROR_IND  ",        "PROGRAM_PROGRESS_IND     ",
    "FLASHTYPE_IND            ",        "CHIP_ERASE_START_IND     ",
    "CHIP_ERASE_FINISHED_IND  ",        "PROGRAMMING_SUCCESS_IND  ",
    "CRC_OK_IND               ",        "CRC_ERROR_IND            ",
    "RESET_TARGET_IND         ",        "MAIL_ERROR_IND           ",
    "STOP_PROGRAM_IND         ",        "TEXT_INFO_IND            ",
    "COMPORT_CTRL_IND         ",        " COM_PORT_SEARCHING_IND ",
    " COM_PORT_SEARCHING_TIMEOUT_IND ", " COM_PORT_FOUND_IND      ",
    " ERASE_SECTOR_IND        ",        " TARGET_FOUND_IND  ",
    " SECTOR_ERASE_START_IND  ",        " SECTOR_ERASE_FINISHED_IND ",
};

constexpr const char* kUnknownNameText = "### UNKNOWN MAIL ###     ";

constexpr const char* kControlActionTexts[] = {
    "[DTR_SET]", "[DTR_CLR]", "[RTS_SET]", "[RTS_CLR]", "[BREAK_SET]", "[BREAK_CLR]",
};

void Append(std::string& line, const char* format, ...) __attribute__((format(printf, 2, 3)));

void Append(std::string& line, const char* format, ...) {
    char piece[64];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (length > 0) {
        line.append(piece, std::min(static_cast<size_t>(length), sizeof piece - 1));
    }
}

unsigned long Long(const IndicationRecord& record, int index) {
    return record.param.longs[index];
}

void AppendParameters(std::string& line, const IndicationRecord& record) {
    switch (record.code) {
    case START_PROGRAM_IND:
        Append(line, "[DLL version = V%03d.%03d] ", static_cast<int>(Long(record, 0) >> 16),
               static_cast<int>(Long(record, 0) & 0xFFFF));
        break;
    case PROGRAM_SIZE_IND:
        Append(line, "[Size=%08lX] ", Long(record, 0));
        break;
    case PROGRAM_OFFSET_IND:
        Append(line, "[Offset=%08lX] ", Long(record, 0));
        break;
    case PROGRAM_PROGRESS_IND:
        Append(line, "[Address=%08lX] ", Long(record, 0));
        break;
    case FLASHTYPE_IND:
        Append(line, "[Manu Code=%04X] ", record.param.words[0]);
        Append(line, "[Device ID=%04X] ", record.param.words[1]);
        break;
    case CRC_OK_IND:
    case CRC_ERROR_IND:
        Append(line, "[File CRC32=%08lX] ", Long(record, 0));
        Append(line, "[Target CRC32=%08lX] ", Long(record, 1));
        break;
    case MAIL_ERROR_IND:
        Append(line, " ### MAIL ERROR[%04X] ###", record.param.words[0]);
        break;
    case STOP_PROGRAM_IND:
        Append(line, "[Time %d msec] ", static_cast<int>(Long(record, 0)));
        break;
    case TEXT_INFO_IND:
        // The text may fill its whole field: appended unformatted, never cut.
        line += " [";
        line.append(record.param.text, strnlen(record.param.text, sizeof record.param.text));
        line += ']';
        break;
    case COMPORT_CTRL_IND:
        if (record.param.words[0] < std::size(kControlActionTexts)) {
            line += kControlActionTexts[record.param.words[0]];
        } else {
            Append(line, "??????? [%04X]", record.param.words[0]);
        }
        break;
    case ERASE_SECTOR_IND:
        Append(line, "[%08lX] ", Long(record, 0));
        break;
    default:
        break;
    }
}

} // namespace

std::string IndicationLogLine(const IndicationRecord& record, uint32_t elapsedMs) {
    std::string line;
    Append(line, "\n[%02X][%06d]MAIL->", record.sessionid, static_cast<int>(elapsedMs));
    bool known = record.code >= 1 && record.code <= std::size(kNameTexts);
    line += known ? kNameTexts[record.code - 1] : kUnknownNameText;
    AppendParameters(line, record);
    line += '\n';
    return line;
}
