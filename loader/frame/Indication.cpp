#include "frame/Indication.h"

#include "frame/IndicationLog.h"
#include "frame/LibrarySettings.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Every record is built at its full size, whatever its shape, so that a host
// copying the whole structure never reads beyond it.
IndicationRecord NewRecord(uint16_t code) {
    IndicationRecord record{};
    record.code = code;
    record.sessionid = Ctx().sessionId;
    return record;
}

void Deliver(IndicationRecord& record) {
    IndicationCallback callback = HostCallback.load();
    if (callback == nullptr) {
        return;
    }
    callback(&record);
    // Read from the library-wide mask, not the thread's copy, so indications
    // are logged also while a monitor start narrows the thread's mask.
    if ((DebugMask.load() & DEBUG_INDICATIONS) != 0) {
        TraceWrite(IndicationLogLine(record, TraceElapsedMs()));
    }
}

} // namespace

void SendIndication(uint16_t code) {
    IndicationRecord record = NewRecord(code);
    Deliver(record);
}

void SendIndicationWord(uint16_t code, uint16_t value) {
    SendIndicationTwoWords(code, value, 0);
}

void SendIndicationTwoWords(uint16_t code, uint16_t first, uint16_t second) {
    IndicationRecord record = NewRecord(code);
    record.param.words[0] = first;
    record.param.words[1] = second;
    Deliver(record);
}

void SendIndicationLong(uint16_t code, uint32_t value) {
    SendIndicationTwoLongs(code, value, 0);
}

void SendIndicationTwoLongs(uint16_t code, uint32_t first, uint32_t second) {
    IndicationRecord record = NewRecord(code);
    record.param.longs[0] = first;
    record.param.longs[1] = second;
    Deliver(record);
}

void SendTextInfo(const char* format, ...) {
    IndicationRecord record = NewRecord(TEXT_INFO_IND);
    va_list args;
    va_start(args, format);
    // The terminator always fits: longer text is cut to 511 characters.
    if (std::vsnprintf(record.param.text, sizeof record.param.text, format, args) < 0) {
        record.param.text[0] = '\0';
    }
    va_end(args);
    Deliver(record);
}
