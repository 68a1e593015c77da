// The receiving side of a mail transaction, fed one byte at a time: it hunts
// for the start byte, checks the length, sums the header and payload, stores
// the payload and checks the checksum. It keeps the frame's raw bytes for
// the mail trace.
#pragma once

#include <cstdint>

constexpr uint8_t kMailStart = 0x10;
// A response's length field stays below this.
constexpr uint32_t kMailLengthLimit = 0x1100;
// Raw bytes kept for the trace of one response: the largest frame and spare.
constexpr uint32_t kMailRecordSize = 4359;

// Body covers the sequence, the two reserved bytes and the payload.
enum class ReceiverState : uint8_t { Hunt, LengthHigh, LengthLow, Body, Checksum };

struct MailReceiver {
    ReceiverState state = ReceiverState::Hunt;
    uint32_t length = 0;    // the frame's length field
    uint32_t remaining = 0; // bytes of header and payload still to come
    uint8_t sum = 0;
    uint8_t* payload = nullptr; // where the payload goes
    uint32_t capacity = 0;      // room there
    uint32_t stored = 0;        // payload bytes stored
    uint8_t record[kMailRecordSize] = {};
    uint32_t recorded = 0;
};

// Starts hunting for a frame whose payload goes to payload[0..capacity).
void ReceiverStart(MailReceiver& r, uint8_t* payload, uint32_t capacity);

// Feeds one byte. Returns -1 while the frame goes on, otherwise the mail
// error code the frame ends with: 0, 2 (payload beyond the room given), 5
// (length 4 or less) or 6 (checksum).
int ReceiverFeed(MailReceiver& r, uint8_t byte);
