#include "Outcome.h"

namespace ulvex {

bool Decides(uint16_t code) {
    switch (code) {
    case CRC_OK_IND:
    case CRC_ERROR_IND:
    case COM_PORT_ACCESS_FAIL_IND:
    case COM_PORT_SEARCHING_TIMEOUT_IND:
    case DOWNLOAD_FAILED_IND:
    case LOADER_ID_UNKNOWN_IND:
    case HEX_FILE_ERROR_IND:
    case MAIL_ERROR_IND:
        return true;
    default:
        return false;
    }
}

namespace {

// What a mail error means to the user, and what to try.
std::string MailErrorDetail(uint16_t code) {
    switch (code) {
    case MAIL_TIMEOUT:
        return "mail error 1: the monitor stopped answering (the board reset or lost power, or "
               "the line is too fast: try a lower -b)";
    case MAIL_CHECKSUM_ERROR:
    case MAIL_TOO_SHORT:
        return "mail error " + std::to_string(code) +
               ": answers arrive garbled (try a lower -b, a shorter cable or another adapter)";
    case MAIL_WRONG_RESPONSE_PRIMITIVE:
        return "mail error 8: a wrong answer, or the port failed (the adapter was unplugged, or "
               "the remote server went away)";
    case MAIL_NEGATIVE_CONFIRM:
        return "mail error 9: the monitor refused a request (flash protected or worn out, or "
               "the image lies outside the target's memory)";
    default:
        return "mail error " + std::to_string(code);
    }
}

} // namespace

void OutcomeTracker::Take(const IndicationRecord& record) {
    if (record.code == STOP_PROGRAM_IND) {
        stopped_ = true;
        ms_ = record.param.longs[0];
        return;
    }
    if (record.code == CRC_OK_IND || record.code == CRC_ERROR_IND) {
        haveCrc_ = true;
        crcFile_ = record.param.longs[0];
        crcTarget_ = record.param.longs[1];
    }
    programmed_ = programmed_ || record.code == PROGRAMMING_SUCCESS_IND;
    if (record.code == MAIL_ERROR_IND && mailError_ == 0) {
        mailError_ = record.param.words[0];
    }
    if (first_ == 0 && Decides(record.code)) {
        first_ = record.code;
    }
}

Outcome OutcomeTracker::Result() const {
    Outcome o;
    o.haveCrc = haveCrc_;
    o.crcFile = crcFile_;
    o.crcTarget = crcTarget_;
    o.ms = ms_;
    o.programmed = programmed_;
    if (!stopped_) {
        return o;
    }
    switch (first_) {
    case CRC_OK_IND:
        o.ok = true;
        o.result = "verified";
        break;
    case CRC_ERROR_IND:
        o.result = "crc-mismatch";
        break;
    case COM_PORT_ACCESS_FAIL_IND:
        o.result = "port-error";
        break;
    case COM_PORT_SEARCHING_TIMEOUT_IND:
        o.result = "port-error";
        o.detail = "no boot loader answered: is the board powered, in its boot loader (boot pin "
                   "or reset) and on this port?";
        break;
    case DOWNLOAD_FAILED_IND:
        o.result = "download-failed";
        o.detail = "the boot loader did not take the monitor: is the board in its boot loader, "
                   "and does -t name its type?";
        break;
    case LOADER_ID_UNKNOWN_IND:
        o.result = "download-failed";
        o.detail = "the target type has no boot procedure";
        break;
    case HEX_FILE_ERROR_IND:
        o.result = "image-error";
        o.detail = "the library cannot read the image as Intel HEX";
        break;
    case MAIL_ERROR_IND:
        o.result = "mail-error";
        o.detail = MailErrorDetail(mailError_);
        break;
    default:
        o.result = "not-verified";
        break;
    }
    return o;
}

} // namespace ulvex
