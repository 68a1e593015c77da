#include "programmers/ProgrammerErrorReport.h"

#include "frame/Indication.h"

uint32_t ProgrammerErrorReport(uint32_t code, unsigned check, const char* module, const char* date,
                               const char* time) {
    SendIndicationWord(MAIL_ERROR_IND, static_cast<uint16_t>(code));
    SendTextInfo("## ERROR ## in Line(%u) Module(%s) Date(%s) Time(%s) ", check, module, date,
                 time);
    return code;
}

uint32_t EndWithMailError(uint32_t code) {
    SendIndicationWord(MAIL_ERROR_IND, static_cast<uint16_t>(code));
    return code;
}
