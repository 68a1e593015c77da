#include "link/MailTransport.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "link/BusAccess.h"
#include "link/MailPrimitives.h"
#include "link/MailReceiver.h"
#include "link/MailTrace.h"
#include "serial/Sio.h"
#include "ulvex.h"

#include <cstring>

namespace {

constexpr int kFrameGoesOn = -1;

uint32_t FirstDeadlineMs(uint8_t primitive) {
    switch (primitive) {
    case EXT_CHIP_EREASE_REQ:
        return kResponseDeadlineMs + kChipEraseExtraMs;
    case CALC_CHECKSUM_REQ:
        return kResponseDeadlineMs + kChecksumExtraMs;
    case CALC_CRC32_REQ:
        return kResponseDeadlineMs + kCrc32ExtraMs;
    default:
        return kResponseDeadlineMs;
    }
}

// Frames the payload into the thread's frame buffer; returns the frame size.
uint32_t BuildFrame(const uint8_t* payload, uint32_t size) {
    MailTransport& m = Ctx().mail;
    uint8_t* f = m.frame;
    const uint32_t length = size + 3;
    f[0] = kMailStart;
    f[1] = static_cast<uint8_t>(length >> 8);
    f[2] = static_cast<uint8_t>(length);
    f[3] = m.sequence++;
    f[4] = 0;
    f[5] = 0;
    std::memcpy(f + 6, payload, size);
    uint8_t sum = 0;
    for (uint32_t i = 3; i < 6 + size; ++i) {
        sum = static_cast<uint8_t>(sum + f[i]);
    }
    f[6 + size] = sum;
    return size + kMailOverhead;
}

// Clears the line of anything stale, then sends the frame.
bool SendFrame(uint32_t frameSize) {
    const uint8_t* frame = Ctx().mail.frame;
    ResetLinkBuffers();
    TraceMailFrame(frame, frameSize);
    return SendRawData(frame, frameSize) == 0;
}

void TraceIf(const char* text) {
    if (MailTraceOn()) {
        TracePrint("%s", text);
    }
}

// A monitor confirms an unconfirmed request too, and its answer may arrive
// after the next request's buffer clearing. One such answer is skipped, so
// that it is not taken for the answer to the request now waiting.
bool SkipStaleAnswer(MailReceiver& r, uint8_t& staleAnswer) {
    if (staleAnswer == 0 || r.stored == 0 || r.payload[0] != staleAnswer) {
        return false;
    }
    staleAnswer = 0;
    TraceMailFrame(r.record, r.recorded);
    ReceiverStart(r, r.payload, r.capacity);
    return true;
}

// Receives the response, retransmitting the unchanged frame when a deadline
// passes with no complete frame. Returns the mail error code.
uint32_t ReceiveResponse(MailReceiver& r, uint32_t frameSize, uint32_t deadline,
                         uint8_t staleAnswer) {
    uint32_t retransmissions = kRetransmissions;
    for (;;) {
        uint8_t byte = 0;
        uint32_t count = 0;
        if (GetRawData(&byte, 1, &count) != 0) {
            return MAIL_WRONG_RESPONSE_PRIMITIVE;
        }
        if (count == 1) {
            const int result = ReceiverFeed(r, byte);
            if (result == MAIL_NO_ERROR && SkipStaleAnswer(r, staleAnswer)) {
                continue;
            }
            if (result != kFrameGoesOn) {
                return static_cast<uint32_t>(result);
            }
            // A frame in progress ends within its length; while hunting, a
            // stream of noise must not hold the deadline off for ever.
            if (r.state != ReceiverState::Hunt || !TickReached(deadline)) {
                continue;
            }
        } else if (!TickReached(deadline)) {
            WaitSerialReadable(TickRemaining(deadline));
            continue;
        }
        if (retransmissions == 0) {
            TraceIf("\n### TIMEOUT ERROR  mail lost ### \n");
            return MAIL_TIMEOUT;
        }
        --retransmissions;
        TraceIf("\n### Retransmit mail ### \n");
        if (!SendFrame(frameSize)) {
            return MAIL_WRONG_RESPONSE_PRIMITIVE;
        }
        deadline = TickDeadline(kResponseDeadlineMs);
        ReceiverStart(r, r.payload, r.capacity);
    }
}

} // namespace

uint32_t MailTransaction(const uint8_t* payload, uint32_t size, uint8_t* response) {
    if (size + kMailOverhead > kMaxRequestFrame) {
        return MAIL_TOO_LONG;
    }
    if (size == 0) {
        return MAIL_FATAL; // no primitive code to send
    }
    MailTransport& m = Ctx().mail;
    m.responseLength = 0;
    // The answer this request expects is never skipped as a stale one. When
    // the late answer of an unconfirmed request has that code too, the two
    // cannot be told apart: the first to arrive is taken, and the other may
    // still be on its way, so the next request skips one of that code.
    const uint8_t answer = static_cast<uint8_t>(payload[0] + 1);
    const bool sameCode = m.staleAnswer == answer;
    const uint8_t staleAnswer = sameCode ? 0 : m.staleAnswer;
    m.staleAnswer = response == nullptr || sameCode ? answer : 0;
    const uint32_t frameSize = BuildFrame(payload, size);
    if (!SendFrame(frameSize)) {
        return MAIL_WRONG_RESPONSE_PRIMITIVE;
    }
    if (response == nullptr) {
        return MAIL_NO_ERROR;
    }
    const uint32_t deadline = TickDeadline(FirstDeadlineMs(payload[0]));
    // The receiver keeps the raw frame for the trace, over 4 KiB: it lives
    // with the thread rather than on the caller's stack.
    static thread_local MailReceiver receiver;
    ReceiverStart(receiver, response, kMaxResponsePayload);
    // The request has left the line once the send returns, so its answer is
    // at best on its way: wait for it rather than read an empty port first.
    WaitSerialReadable(TickRemaining(deadline));
    const uint32_t result = ReceiveResponse(receiver, frameSize, deadline, staleAnswer);
    m.responseLength = result == MAIL_NO_ERROR ? receiver.stored : 0;
    TraceMailFrame(receiver.record, receiver.recorded);
    return result;
}
