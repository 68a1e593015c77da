// Feeds arbitrary byte streams from the PC side to the board's frame parser
// and monitor, in memory. The first byte picks the target kind, a fault
// form and where the line goes quiet; the rest is the stream. Every answer
// must be a well-formed frame that fits the PC's limits, and every valid
// mail but SET_CONFIG must be answered, with its own sequence number.
#include "line/FaultInjector.h"
#include "memory/RamMemory.h"
#include "memory/atmega/AtmegaMemory.h"
#include "monitor/MailLink.h"
#include "monitor/MonitorPhase.h"
#include "monitor/Primitives.h"
#include "state/BoardShared.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_vtarget_frames: %s\n", what);
        abort();
    }
}

// Returns the answer's sequence number after checking its frame.
uint8_t CheckAnswerFrame(const std::vector<uint8_t>& frame) {
    Check(frame.size() >= vtarget::kMailOverhead + 1, "answer frame too short");
    Check(frame[0] == vtarget::kMailStart, "answer without start byte");
    const size_t length = static_cast<size_t>(frame[1]) << 8 | frame[2];
    Check(length == frame.size() - 4, "answer length does not match its size");
    Check(length <= vtarget::kMaxAnswerLength, "answer longer than the PC accepts");
    Check(frame[4] == 0 && frame[5] == 0, "reserved bytes set");
    const auto body = std::span(frame).subspan(3, length);
    Check(vtarget::MailChecksum(body) == frame.back(), "answer checksum wrong");
    const uint8_t code = frame[vtarget::kMailHeader];
    Check(code >= 2 && code <= vtarget::kLastPrimitive && code % 2 == 0, "answer code not even");
    return frame[3];
}

vtarget::MonitorSettings SettingsFor(uint8_t config) {
    vtarget::MonitorSettings settings;
    settings.targetType = (config & 1) != 0 ? 17 : 0;
    settings.maxRange = 1 << 20; // large ranges cost time, not coverage
    return settings;
}

// The ATmega gets its flash and data space, so that word addresses and
// ranges that run past the flash's end reach the model.
std::unique_ptr<vtarget::MemoryModel> MemoryFor(uint8_t config) {
    if ((config & 1) != 0) {
        return std::make_unique<vtarget::AtmegaMemory>(64u << 10, 0x123u);
    }
    return std::make_unique<vtarget::RamMemory>();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t config = data[0];
    vtarget::BoardShared shared(MemoryFor(config), 115200);
    vtarget::FaultOptions faults;
    faults.nakEvery = (config >> 1) & 3;
    vtarget::FaultInjector injector(faults);
    vtarget::MonitorPhase phase(shared, injector, SettingsFor(config));
    const size_t quietEvery = config >> 3; // 0: the line never goes quiet

    std::vector<vtarget::Reply> replies;
    const auto now = vtarget::Clock::now();
    for (size_t i = 1; i < size; ++i) {
        phase.Receive({data[i], now}, replies);
        if (quietEvery != 0 && i % quietEvery == 0 && phase.MidMessage()) {
            phase.LineQuiet(now, replies);
        }
    }

    const auto mails = shared.Mails();
    size_t answered = 0;
    for (const auto& mail : mails) {
        Check(!mail.payload.empty() && mail.payload[0] % 2 == 1, "mail without a request code");
        if (mail.payload[0] == vtarget::kSetConfigReq) {
            continue;
        }
        Check(answered < replies.size(), "valid mail left unanswered");
        Check(CheckAnswerFrame(replies[answered].bytes) == mail.sequence, "sequence not echoed");
        ++answered;
    }
    Check(answered == replies.size(), "answer without a mail");
    Check(shared.counters.droppedFrames <= size, "more drops than bytes");
    return 0;
}
