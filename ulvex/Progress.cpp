#include "Progress.h"

#include "Outcome.h"

#include <algorithm>

namespace ulvex {

namespace {

// The stage an indication starts, or null when it starts none.
const char* StageOf(uint16_t code) {
    switch (code) {
    case START_PROGRAM_IND:
        return "starting";
    case COM_PORT_SEARCHING_IND:
        return "searching";
    case DOWNLOAD_SUCCESS_IND:
        return "monitor";
    case CHIP_ERASE_START_IND:
    case SECTOR_ERASE_START_IND:
        return "erasing";
    case PROGRAM_PROGRESS_IND:
        return "programming";
    case PROGRAMMING_SUCCESS_IND:
        return "verifying";
    case CRC_OK_IND:
        return "verified";
    case CRC_ERROR_IND:
        return "crc-mismatch";
    case RESET_TARGET_IND:
        return "restarting";
    case COM_PORT_ACCESS_FAIL_IND:
        return "port-error";
    case COM_PORT_SEARCHING_TIMEOUT_IND:
        return "no-boot-loader";
    case DOWNLOAD_FAILED_IND:
    case LOADER_ID_UNKNOWN_IND:
        return "download-failed";
    case HEX_FILE_ERROR_IND:
        return "image-error";
    case MAIL_ERROR_IND:
        return "mail-error";
    default:
        return nullptr;
    }
}

} // namespace

void BoardProgress::SetStage(const char* stage) {
    stageChanged_ = stage_ != stage;
    stage_ = stage;
}

void BoardProgress::Take(const IndicationRecord& record, Clock::time_point now) {
    stageChanged_ = false;
    switch (record.code) {
    case PROGRAM_SIZE_IND:
        size_ = record.param.longs[0];
        return;
    case PROGRAM_OFFSET_IND:
        offset_ = record.param.longs[0];
        return;
    case PROGRAM_PROGRESS_IND: {
        if (!programmingSince_) {
            programmingSince_ = now;
        }
        lastProgress_ = now;
        const uint32_t reached = record.param.longs[0] - offset_;
        done_ = std::max(done_, std::min(reached, size_));
        break;
    }
    case PROGRAMMING_SUCCESS_IND:
        done_ = size_;
        break;
    default:
        break;
    }
    // The first failure names the stage; what follows it is cleanup.
    if (failed_) {
        return;
    }
    if (const char* stage = StageOf(record.code)) {
        failed_ = Decides(record.code) && record.code != CRC_OK_IND;
        SetStage(stage);
    }
}

int BoardProgress::Tenths() const {
    if (size_ == 0) {
        return -1;
    }
    return static_cast<int>(static_cast<uint64_t>(done_) * 10 / size_);
}

double BoardProgress::Fraction() const {
    return size_ == 0 ? 0.0 : static_cast<double>(done_) / size_;
}

double BoardProgress::BytesPerSecond(Clock::time_point now) const {
    if (!programmingSince_) {
        return 0.0;
    }
    const Clock::time_point until = done_ >= size_ ? lastProgress_ : now;
    const double seconds = std::chrono::duration<double>(until - *programmingSince_).count();
    return seconds > 0.05 ? done_ / seconds : 0.0;
}

std::optional<double> BoardProgress::SecondsLeft(Clock::time_point now) const {
    const double rate = BytesPerSecond(now);
    if (rate <= 0.0 || done_ >= size_) {
        return std::nullopt;
    }
    return (size_ - done_) / rate;
}

} // namespace ulvex
