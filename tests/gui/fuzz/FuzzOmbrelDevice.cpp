// Feeds the Ombrel device's boot loader arbitrary byte streams from the PC,
// in memory, on a simulated clock. The first byte picks how often the line
// goes quiet and the clock moves on. Without faults every answer must be a
// well-formed acknowledgement of a block the device logged, the stored
// file never longer than the data that came, and the prompt and run text
// exactly as configured.
#include "memory/RamMemory.h"
#include "ombrel/OmbrelLoader.h"
#include "ombrel/OmbrelProtocol.h"
#include "state/BoardShared.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_ombrel_device: %s\n", what);
        abort();
    }
}

bool IsAnswer(const std::vector<uint8_t>& bytes) {
    return bytes.size() == 4 && bytes[0] == vtarget::kOmbrelFrameStart &&
           vtarget::OmbrelCrc8(bytes) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t quietEvery = data[0] & 0x1F; // 0: never
    const auto step = std::chrono::milliseconds(data[0] >> 5) * 50;
    vtarget::BoardShared shared(std::make_unique<vtarget::RamMemory>(), 115200);
    vtarget::OmbrelOptions options;
    auto now = vtarget::Clock::now();
    vtarget::OmbrelLoaderPhase phase(options, shared, now);

    std::vector<vtarget::Reply> replies;
    size_t answers = 0;
    size_t prompts = 0;
    size_t runs = 0;
    const auto take = [&] {
        for (const vtarget::Reply& reply : replies) {
            const std::string text(reply.bytes.begin(), reply.bytes.end());
            if (text == ">") {
                ++prompts;
            } else if (text == options.runText) {
                ++runs;
            } else {
                Check(IsAnswer(reply.bytes), "an answer that is not an acknowledgement");
                ++answers;
            }
        }
        replies.clear();
    };
    for (size_t i = 1; i < size && !phase.Handover(); ++i) {
        phase.Receive({data[i], now}, replies);
        if (quietEvery != 0 && i % quietEvery == 0) {
            now += step;
            if (phase.MidMessage()) {
                phase.LineQuiet(now, replies);
            }
            if (const auto deadline = phase.NextDeadline(); deadline && *deadline <= now) {
                phase.OnTimer(now, replies);
            }
        }
        take();
    }
    Check(answers <= shared.MailCount(), "more answers than logged frames");
    Check(prompts <= options.prompt.size(), "more prompts than the prompt has");
    Check(runs <= 1, "the run text twice");
    Check(shared.LastDownload().size() <= size, "a file longer than the input");
    return 0;
}
