// The byte protocols of the chip and ARM boot loaders: prompt, header with
// the image length, the image, and the XOR checksum the boot loader answers.
#include "boot/BootLoader.h"

#include "boot/MonitorImages.h"
#include "frame/Indication.h"
#include "link/BusAccess.h"
#include "serial/Priority.h"
#include "serial/Sio.h"

#include <optional>
#include <vector>

namespace {

constexpr uint8_t kPrompt = 0x02;
constexpr uint8_t kHeaderStart = 0x01;
constexpr uint8_t kAcknowledge = 0x06;

constexpr uint32_t kPromptWaitMs = 800;
constexpr uint32_t kHeaderAnswerMs = 500;
constexpr uint32_t kChecksumWaitMs = 1000;
constexpr uint32_t kArmPromptWaitMs = 10000;
constexpr uint32_t kArmChecksumWaitMs = 8000;
constexpr uint32_t kMaxPacing = 9;
// The thread runs time-critical while it waits for the checksum, so that
// its 0x06 reaches the boot loader within the boot loader's window.
constexpr int32_t kChecksumPriority = 15;

bool IsChipImageKind(uint32_t kind) {
    return kind <= 2 || kind == 4 || kind == 5;
}

uint8_t XorOf(const std::vector<uint8_t>& image) {
    uint8_t sum = 0;
    for (const uint8_t byte : image) {
        sum ^= byte;
    }
    return sum;
}

bool SendByte(uint8_t byte) {
    return SendRawData(&byte, 1) == 0;
}

// Outcome of offering the image: the boot loader's answer to the header.
enum class Offer { Accepted, Refused, Unanswered, SendFailed };

// Sends 0x01 and the length, one byte each, and waits for the answer. With
// skipPrompts, prompts that the boot loader sent before it saw the header
// are no answer.
Offer OfferImage(size_t length, bool skipPrompts) {
    if (!SendByte(kHeaderStart) || !SendByte(static_cast<uint8_t>(length & 0xFF)) ||
        !SendByte(static_cast<uint8_t>((length >> 8) & 0xFF))) {
        return Offer::SendFailed;
    }
    const uint32_t deadline = TickDeadline(kHeaderAnswerMs);
    uint8_t answer = 0;
    do {
        if (WaitForAnyByte(&answer, TickRemaining(deadline)) == 0) {
            return Offer::Unanswered;
        }
    } while (skipPrompts && answer == kPrompt);
    return answer == kAcknowledge ? Offer::Accepted : Offer::Refused;
}

// The download's result when the offer ends it: 7 send failure, 3 no
// answer, the given code for a refusal; nothing when the image may follow.
std::optional<uint32_t> EndOfOffer(Offer offer, uint32_t refusedCode) {
    switch (offer) {
    case Offer::SendFailed:
        return 7;
    case Offer::Unanswered:
        return 3;
    case Offer::Refused:
        return refusedCode;
    case Offer::Accepted:
        break;
    }
    return std::nullopt;
}

bool SendImage(const std::vector<uint8_t>& image) {
    return SendRawData(image.data(), static_cast<uint32_t>(image.size())) == 0;
}

// Waits for the checksum at raised priority and acknowledges a matching
// one. 0, 4 when none came, 7 when the acknowledgement failed.
uint32_t TakeChecksum(uint8_t expected) {
    SetHighPriority(kChecksumPriority);
    uint8_t answer = 0;
    const bool arrived = WaitForAnyByte(&answer, kChecksumWaitMs) != 0;
    if (arrived && answer == expected && !SendByte(kAcknowledge)) {
        RestoreNormalPriority();
        return 7;
    }
    RestoreNormalPriority();
    return arrived ? 0 : 4;
}

} // namespace

uint32_t BootDownload(uint32_t kind, uint32_t pacing) {
    if (pacing == 0 || pacing > kMaxPacing) {
        return 1;
    }
    ResetLinkBuffers();
    std::vector<uint8_t> image;
    if (!IsChipImageKind(kind) || !LoadMonitorImage(kind, image)) {
        return 1;
    }
    const uint8_t checksum = XorOf(image);
    uint8_t prompt = 0;
    if (WaitForAnyByte(&prompt, kPromptWaitMs) == 0) {
        return 2;
    }
    if (prompt != kPrompt) {
        return 5;
    }
    // A refused header ends the chip download with 0, as its protocol has
    // it; the first mail to the monitor then fails.
    if (const auto end = EndOfOffer(OfferImage(image.size(), false), 0)) {
        return *end;
    }
    const uint32_t start = TickNow();
    if (!SendImage(image)) {
        return 7;
    }
    // The boot loader cannot answer before it has taken the whole image.
    const uint32_t paced = static_cast<uint32_t>(image.size()) * pacing / 10;
    DelayMs(TickRemaining(start + paced));
    return TakeChecksum(checksum);
}

uint32_t ArmBootDownload(uint32_t kind) {
    ResetLinkBuffers();
    std::vector<uint8_t> image;
    if ((kind != 3 && kind != 6) || !LoadMonitorImage(kind, image)) {
        return kArmImageMissing;
    }
    const uint8_t checksum = XorOf(image);
    if (WaitForByte(kPrompt, kArmPromptWaitMs) == 0) {
        return 5;
    }
    SendIndication(TARGET_FOUND_IND);
    // The host's callback ran on this thread, for as long as it took, and
    // the boot loader went on prompting meanwhile; a prompt may even cross
    // the header on the line. None of them answers the header.
    if (const auto end = EndOfOffer(OfferImage(image.size(), true), 8)) {
        return *end;
    }
    if (!SendImage(image)) {
        return 7;
    }
    uint8_t answer = 0;
    if (WaitForAnyByte(&answer, kArmChecksumWaitMs) == 0) {
        return 4;
    }
    if (answer == checksum && !SendByte(kAcknowledge)) {
        return 7;
    }
    return 0;
}
