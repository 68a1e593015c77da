#include "link/MailReceiver.h"

#include "ulvex.h"

namespace {

constexpr uint32_t kHeaderBytes = 3; // sequence and two reserved bytes
constexpr int kGoOn = -1;

void Record(MailReceiver& r, uint8_t byte) {
    if (r.recorded < kMailRecordSize) {
        r.record[r.recorded++] = byte;
    }
}

void Hunt(MailReceiver& r) {
    r.state = ReceiverState::Hunt;
    r.recorded = 0;
    r.stored = 0;
}

int OnLengthLow(MailReceiver& r, uint8_t byte) {
    r.length |= byte;
    if (r.length <= 4) {
        return MAIL_TOO_SHORT;
    }
    r.remaining = r.length;
    r.sum = 0;
    r.state = ReceiverState::Body;
    return kGoOn;
}

int OnBody(MailReceiver& r, uint8_t byte) {
    r.sum = static_cast<uint8_t>(r.sum + byte);
    const bool header = r.length - r.remaining < kHeaderBytes;
    --r.remaining;
    if (!header) {
        // The length limit keeps the payload within a response area; a
        // caller that gave less room gets an error, not an overrun.
        if (r.stored >= r.capacity) {
            return MAIL_FATAL;
        }
        r.payload[r.stored++] = byte;
    }
    if (r.remaining == 0) {
        r.state = ReceiverState::Checksum;
    }
    return kGoOn;
}

} // namespace

void ReceiverStart(MailReceiver& r, uint8_t* payload, uint32_t capacity) {
    r.payload = payload;
    r.capacity = capacity;
    Hunt(r);
}

int ReceiverFeed(MailReceiver& r, uint8_t byte) {
    switch (r.state) {
    case ReceiverState::Hunt:
        if (byte == kMailStart) {
            Record(r, byte);
            r.state = ReceiverState::LengthHigh;
        }
        return kGoOn;
    case ReceiverState::LengthHigh:
        if (uint32_t{byte} * 256 >= kMailLengthLimit) {
            Hunt(r);
            return kGoOn;
        }
        Record(r, byte);
        r.length = uint32_t{byte} * 256;
        r.state = ReceiverState::LengthLow;
        return kGoOn;
    case ReceiverState::LengthLow:
        Record(r, byte);
        return OnLengthLow(r, byte);
    case ReceiverState::Body:
        Record(r, byte);
        return OnBody(r, byte);
    case ReceiverState::Checksum:
        Record(r, byte);
        return byte == r.sum ? MAIL_NO_ERROR : MAIL_CHECKSUM_ERROR;
    }
    return MAIL_FATAL;
}
