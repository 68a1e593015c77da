// Feeds arbitrary byte streams from the PC side to the board's boot loaders
// and whatever they hand over to, in memory, on a simulated clock. The
// first byte picks the target type, the second the time between bytes and
// whether the PC honours XOFF; the rest is the stream. Nothing may crash,
// and the board may not answer more than a bounded amount per byte.
#include "board/PhaseFactory.h"
#include "line/FaultInjector.h"
#include "memory/RamMemory.h"
#include "state/BoardShared.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr std::array<int, 8> kBootTypes = {0, 5, 3, 20, 18, 22, 14, 10};
// The longest answer of one step: a full mail answer, or a prompt and a
// checksum.
constexpr size_t kMaxReplyPerStep = 0x10FF + 8;

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_vtarget_boot: %s\n", what);
        abort();
    }
}

size_t ReplyBytes(const std::vector<vtarget::Reply>& replies) {
    size_t total = 0;
    for (const auto& reply : replies) {
        total += reply.bytes.size();
    }
    return total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    vtarget::BoardOptions options;
    options.targetType = kBootTypes[data[0] % kBootTypes.size()];
    options.withheldChecksums = (data[0] >> 3) & 1;
    const auto step = std::chrono::microseconds(100 << (data[1] & 0x0F));
    const bool honoursXoff = (data[1] & 0x10) != 0;

    vtarget::BoardShared shared(std::make_unique<vtarget::RamMemory>(),
                                vtarget::FirstRate(options));
    vtarget::FaultInjector injector(options.faults);
    vtarget::PhaseFactory factory(options, shared, injector);
    auto now = vtarget::Clock::now();
    auto phase = factory.Make(vtarget::Stage::BootLoader, now);

    for (size_t i = 2; i < size; ++i) {
        now += step;
        std::vector<vtarget::Reply> replies;
        if (const auto deadline = phase->NextDeadline(); deadline && *deadline <= now) {
            phase->OnTimer(now, replies);
        }
        phase->Receive({data[i], now, step, honoursXoff}, replies);
        Check(ReplyBytes(replies) <= kMaxReplyPerStep, "answer out of proportion");
        if (const auto next = phase->Handover()) {
            phase = factory.Make(*next, now);
        }
    }
    return 0;
}
