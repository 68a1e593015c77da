// Feeds the window's reading of the device's bytes with arbitrary arrivals.
// Each arrival is a length byte and that many bytes; a length byte of FFh
// instead enters the boot loader, FEh starts gathering the final text. An
// answer must only be recognised from an arrival that completes exactly
// four bytes since one starting with "~", with a CRC of 0.
#include "DeviceReceiver.h"

#include <cstdio>
#include <cstdlib>
#include <span>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_ombrel_receiver: %s\n", what);
        abort();
    }
}

// The answer's bytes as the harness saw them arrive.
struct Model {
    bool gathering = false;
    size_t count = 0;
    uint8_t bytes[4] = {};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombrel::DeviceReceiver receiver;
    Model model;
    size_t at = 0;
    while (at < size) {
        const uint8_t length = data[at++];
        if (length == 0xFF) {
            receiver.EnterLoader();
            continue;
        }
        if (length == 0xFE) {
            receiver.GatherText();
            continue;
        }
        const auto arrival = std::span(data + at, std::min<size_t>(length, size - at));
        at += arrival.size();
        const auto state = receiver.State();
        const bool starts =
            receiver.InLoader() && !arrival.empty() && arrival[0] == '~' &&
            (state == ombrel::ReceiveState::Idle || state == ombrel::ReceiveState::AckReady);
        if (starts) {
            model = Model{true, 0, {}};
        }
        for (const uint8_t byte : arrival) {
            if (model.count < 4) {
                model.bytes[model.count] = byte;
            }
            ++model.count;
        }
        receiver.OnArrival(arrival);
        Check(receiver.PromptCount() >= 0, "negative prompt count");
        if (!receiver.TakeAcknowledgement()) {
            continue;
        }
        Check(model.gathering && model.count == 4, "answer from other than four bytes");
        uint8_t crc = 0;
        for (const uint8_t byte : model.bytes) {
            crc = ombrel::Crc8Update(crc, byte);
        }
        Check(crc == 0, "answer with a wrong CRC");
        Check(receiver.AcknowledgedBlock() == (model.bytes[1] << 8 | model.bytes[2]),
              "answer names another block");
        model.gathering = false;
    }
    Check(receiver.TextContains(""), "the empty text is not found");
    return 0;
}
