// The mail transaction: frame a request, send it, and receive the response
// with the deadline and retransmissions of its primitive.
#pragma once

#include <cstdint>

// Deadlines of a response after a send. Erasing a whole chip, summing and
// computing a CRC over flash take the target longer than other requests.
constexpr uint32_t kResponseDeadlineMs = 900;
constexpr uint32_t kChipEraseExtraMs = 15000;
constexpr uint32_t kChecksumExtraMs = 5000;
constexpr uint32_t kCrc32ExtraMs = 20000;
// Sends after the first before a transaction gives up.
constexpr uint32_t kRetransmissions = 2;

// Sends payload[0..size) (primitive code first) as one mail. With a response
// buffer, waits for the response and copies its payload there (it must hold
// the largest response payload); the payload length is then in the thread's
// mail state. Without one, returns once the request has been sent. Returns
// a MailError code.
uint32_t MailTransaction(const uint8_t* payload, uint32_t size, uint8_t* response);
