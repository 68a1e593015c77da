#include "IndicationEvents.h"

#include <array>
#include <cstring>

namespace ulvex {

namespace {

enum class Shape : uint8_t { None, Word, TwoWords, Long, TwoLongs, Text };

struct Kind {
    const char* name;
    Shape shape;
    const char* first; // parameter names, as the event carries them
    const char* second;
};

// By code, 0 to 30.
constexpr std::array<Kind, 31> kKinds{{
    {"UNKNOWN_IND", Shape::None, "", ""},
    {"START_PROGRAM_IND", Shape::Long, "version", ""},
    {"LOADER_ID_UNKNOWN_IND", Shape::None, "", ""},
    {"COM_PORT_ACCESS_FAIL_IND", Shape::None, "", ""},
    {"READY_TO_DOWNLOAD_IND", Shape::None, "", ""},
    {"START_DOWNLOADER_IND", Shape::None, "", ""},
    {"DOWNLOAD_SUCCESS_IND", Shape::None, "", ""},
    {"DOWNLOAD_FAILED_IND", Shape::None, "", ""},
    {"HEX_FILE_ERROR_IND", Shape::None, "", ""},
    {"PROGRAM_SIZE_IND", Shape::Long, "size", ""},
    {"PROGRAM_OFFSET_IND", Shape::Long, "offset", ""},
    {"COMMUNICATION_ERROR_IND", Shape::None, "", ""},
    {"PROGRAM_PROGRESS_IND", Shape::Long, "address", ""},
    {"FLASHTYPE_IND", Shape::TwoWords, "manufacturer", "device"},
    {"CHIP_ERASE_START_IND", Shape::None, "", ""},
    {"CHIP_ERASE_FINISHED_IND", Shape::None, "", ""},
    {"PROGRAMMING_SUCCESS_IND", Shape::None, "", ""},
    {"CRC_OK_IND", Shape::TwoLongs, "crc_file", "crc_target"},
    {"CRC_ERROR_IND", Shape::TwoLongs, "crc_file", "crc_target"},
    {"RESET_TARGET_IND", Shape::None, "", ""},
    {"MAIL_ERROR_IND", Shape::Word, "error", ""},
    {"STOP_PROGRAM_IND", Shape::Long, "ms", ""},
    {"TEXT_INFO_IND", Shape::Text, "text", ""},
    {"COMPORT_CTRL_IND", Shape::Word, "action", ""},
    {"COM_PORT_SEARCHING_IND", Shape::None, "", ""},
    {"COM_PORT_SEARCHING_TIMEOUT_IND", Shape::None, "", ""},
    {"COM_PORT_FOUND_IND", Shape::None, "", ""},
    {"ERASE_SECTOR_IND", Shape::Long, "address", ""},
    {"TARGET_FOUND_IND", Shape::None, "", ""},
    {"SECTOR_ERASE_START_IND", Shape::None, "", ""},
    {"SECTOR_ERASE_FINISHED_IND", Shape::None, "", ""},
}};

const Kind& KindOf(uint16_t code) {
    return code < kKinds.size() ? kKinds[code] : kKinds[0];
}

} // namespace

const char* IndicationName(uint16_t code) {
    return KindOf(code).name;
}

nlohmann::json IndicationEvent(const std::string& port, const IndicationRecord& record,
                               uint64_t elapsedMs) {
    const Kind& kind = KindOf(record.code);
    nlohmann::json event = {{"event", "indication"},       {"port", port},
                            {"session", record.sessionid}, {"name", kind.name},
                            {"code", record.code},         {"t_ms", elapsedMs}};
    switch (kind.shape) {
    case Shape::None:
        break;
    case Shape::Word:
        event[kind.first] = record.param.words[0];
        break;
    case Shape::TwoWords:
        event[kind.first] = record.param.words[0];
        event[kind.second] = record.param.words[1];
        break;
    case Shape::Long:
        event[kind.first] = record.param.longs[0];
        break;
    case Shape::TwoLongs:
        event[kind.first] = record.param.longs[0];
        event[kind.second] = record.param.longs[1];
        break;
    case Shape::Text:
        // The text is at most 511 characters; it need not be valid UTF-8.
        event[kind.first] =
            std::string(record.param.text, strnlen(record.param.text, INDICATION_TEXT_SIZE - 1));
        break;
    }
    return event;
}

} // namespace ulvex
