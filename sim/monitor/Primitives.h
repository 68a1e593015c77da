// Primitive codes of the monitor's mails. Requests are odd; the answer to a
// request carries the next even code.
#pragma once

#include <cstdint>

namespace vtarget {

enum Primitive : uint8_t {
    kReadMem8Req = 1,
    kWriteMem8Req = 3,
    kReadMem16Req = 5,
    kWriteMem16Req = 7,
    kProgIntFlashReq = 9,
    kProgExtFlashReq = 11,
    kProgExt2Flash8Req = 13,
    kExtSectorEraseReq = 15,
    kExtBlockEraseReq = 17,
    kExtChipEraseReq = 19,
    kExtFlashTypeReq = 21,
    kCalcChecksumReq = 23,
    kCalcCrc32Req = 25,
    kSetConfigReq = 27,
    kSetFlashProgCmdAddressReq = 29,
    kGoFromAddressReq = 31,
    kSetBaudrateReq = 33,
    kGetVersionReq = 35,
};

constexpr uint8_t kLastPrimitive = 36;

constexpr uint8_t AnswerCode(uint8_t request) {
    return static_cast<uint8_t>(request + 1);
}

// Requests whose answer is a one-byte status (1 = success).
constexpr bool AnswersWithStatus(uint8_t request) {
    switch (request) {
    case kWriteMem8Req:
    case kWriteMem16Req:
    case kProgIntFlashReq:
    case kProgExtFlashReq:
    case kProgExt2Flash8Req:
    case kExtSectorEraseReq:
    case kExtBlockEraseReq:
    case kExtChipEraseReq:
    case kSetFlashProgCmdAddressReq:
    case kGoFromAddressReq:
    case kSetBaudrateReq:
        return true;
    default:
        return false;
    }
}

} // namespace vtarget
