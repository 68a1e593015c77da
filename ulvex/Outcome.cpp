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
    case COM_PORT_SEARCHING_TIMEOUT_IND:
        o.result = "port-error";
        break;
    case DOWNLOAD_FAILED_IND:
    case LOADER_ID_UNKNOWN_IND:
        o.result = "download-failed";
        break;
    case HEX_FILE_ERROR_IND:
        o.result = "image-error";
        break;
    case MAIL_ERROR_IND:
        o.result = "mail-error";
        o.detail = "mail error " + std::to_string(mailError_);
        break;
    default:
        o.result = "not-verified";
        break;
    }
    return o;
}

} // namespace ulvex
