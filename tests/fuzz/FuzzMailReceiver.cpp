// Feeds arbitrary byte streams to the mail receiver, as a target or a noisy
// line could, and decodes every frame it ends for the trace. The response
// area is exactly as large as the library's, on the heap, so that any write
// beyond it is caught.
#include "frame/ThreadContext.h"
#include "link/MailReceiver.h"
#include "link/MailTrace.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto area = std::make_unique<uint8_t[]>(kMaxResponsePayload);
    auto receiver = std::make_unique<MailReceiver>();
    ReceiverStart(*receiver, area.get(), kMaxResponsePayload);
    for (size_t i = 0; i < size; ++i) {
        if (ReceiverFeed(*receiver, data[i]) == -1) {
            continue;
        }
        if (receiver->stored > kMaxResponsePayload || receiver->recorded > kMailRecordSize) {
            __builtin_trap();
        }
        MailTraceLine(receiver->record, receiver->recorded);
        ReceiverStart(*receiver, area.get(), kMaxResponsePayload);
    }
    // The same bytes read as a request frame by the trace.
    MailTraceLine(data, static_cast<uint32_t>(size));
    return 0;
}
