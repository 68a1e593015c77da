#include "frame/Trace.h"

#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "frame/Tick.h"
#include "frame/TraceSink.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

constexpr const char* kThreadIdErrorWrite = "\n### Thread ID Error 002 ###\n";
constexpr const char* kThreadIdErrorClose = "\n### Thread ID Error 001 ###\n";

void WriteConsole(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// Formats into a line of kTraceLineMax characters at most; longer text is cut.
void FormatLine(char (&line)[kTraceLineMax + 1], const char* format, va_list args) {
    if (std::vsnprintf(line, sizeof line, format, args) < 0) {
        line[0] = '\0';
    }
}

void AppendHexBytes(std::string& text, const uint8_t* bytes, size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
        text += ' ';
    }
}

} // namespace

void ErrorTrace(const char* function, unsigned line, const char* module, uint32_t level,
                const char* format, ...) {
    char message[kTraceLineMax + 1];
    va_list args;
    va_start(args, format);
    FormatLine(message, format, args);
    va_end(args);

    // The whole line is bounded too: a long message cuts off its tail.
    char text[kTraceLineMax + 1];
    if (std::snprintf(text, sizeof text, "%s; %s; Line %u in %s; %s", message, function, line,
                      module, DbgLevelName(level)) < 0) {
        text[0] = '\0';
    }
    EmitErrorTrace(text);
}

void TracePrint(const char* format, ...) {
    if (!Ctx().trace.printing) {
        return;
    }
    char line[kTraceLineMax + 1];
    va_list args;
    va_start(args, format);
    FormatLine(line, format, args);
    va_end(args);
    TraceWrite(line);
}

void TraceWrite(std::string_view text) {
    TraceState& t = Ctx().trace;
    if (!t.printing) {
        return;
    }
    // The owner is set only by a successful log creation, so a thread whose
    // log could not be created reports that here, line by line.
    if (t.ownerThread != CurrentThreadId()) {
        WriteConsole(kThreadIdErrorWrite);
        return;
    }
    if (t.log != nullptr) {
        std::fwrite(text.data(), 1, text.size(), t.log);
    } else {
        WriteConsole(text);
    }
}

void SetTraceMask(uint32_t mask) {
    TraceState& t = Ctx().trace;
    t.mask = mask;
    if (mask != 0) {
        t.printing = true;
        return;
    }
    if (t.logOpen) {
        CloseTraceLog();
        t.logOpen = false;
    }
    t.printing = false;
}

void OpenTraceLog(const char* name) {
    TraceState& t = Ctx().trace;
    if (t.logOpen) {
        return;
    }
    FILE* file = FaultFires(Fault::LogCreate) ? nullptr : std::fopen(name, "w+");
    if (file != nullptr) {
        t.log = file;
        t.ownerThread = CurrentThreadId();
    }
    // Set also after a failed creation: it is not retried within the session.
    t.logOpen = true;
}

void CloseTraceLog() {
    TraceState& t = Ctx().trace;
    if (t.log == nullptr) {
        return;
    }
    if (t.ownerThread == CurrentThreadId()) {
        std::fclose(t.log);
    } else {
        WriteConsole(kThreadIdErrorClose);
    }
    t.log = nullptr;
}

void TraceErrorLine(const char* call, unsigned line, const char* module, const char* date,
                    const char* time) {
    TracePrint("## ERROR ## %s in Line(%u) Module(%s) Date(%s) Time(%s) \n", call, line, module,
               date, time);
}

void TraceRxDump(const uint8_t* bytes, size_t count) {
    TraceState& t = Ctx().trace;
    if ((t.mask & 0x01) == 0 || count == 0) {
        return;
    }
    std::string text;
    if (!t.rxLineOpen) {
        text = "\n<RX: ";
    }
    AppendHexBytes(text, bytes, count);
    t.rxLineOpen = true;
    TraceWrite(text);
}

void TraceTxDump(const uint8_t* bytes, size_t count) {
    TraceState& t = Ctx().trace;
    if ((t.mask & 0x02) == 0 || count == 0) {
        return;
    }
    std::string text;
    if (t.rxLineOpen) {
        text = ">";
        t.rxLineOpen = false;
    }
    text += "\n<TX: ";
    AppendHexBytes(text, bytes, count);
    text += '>';
    TraceWrite(text);
}

uint32_t TraceElapsedMs() {
    return TickNow() - Ctx().timing.traceBase;
}

const char* DbgLevelName(uint32_t level) {
    switch (level) {
    case DBG_LEVEL_OFF:
        return "DBG_LEVEL_OFF";
    case DBG_LEVEL_INFO:
        return "DBG_LEVEL_INFO";
    case DBG_LEVEL_WARNING:
        return "DBG_LEVEL_WARNING";
    case DBG_LEVEL_SERIOUS:
        return "DBG_LEVEL_SERIOUS";
    case DBG_LEVEL_SEVERE:
        return "DBG_LEVEL_SEVERE";
    default:
        return "DBG_LEVEL_UNKNOWN";
    }
}

const char* TargetTypeName(uint32_t targettype) {
    static constexpr const char* kNames[] = {
        "INTERNAL_KOLT_FLASH_TARGET_TYPE",
        "EXTERNAL_KOLT_FLASH_TARGET_TYPE",
        "EXTERNAL_KOLT_2xFLASH_TARGET_TYPE",
        "INTERNAL_MERV_FLASH_TARGET_TYPE",
        "EXTERNAL_MERV_FLASH_TARGET_TYPE",
        "INTERNAL_KOLT_FLASH_9_216MHZ_TARGET_TYPE",
        "EXTERNAL_KOLT_FLASH_9_216MHZ_TARGET_TYPE",
        "EXTERNAL_KOLT_2xFLASH_9_216MHZ_TARGET_TYPE",
        "INTERNAL_MERV_FLASH_9_216MHZ_TARGET_TYPE",
        "EXTERNAL_MERV_FLASH_9_216MHZ_TARGET_TYPE",
        "ATMEGA128_00_TARGET_TYPE",
        "INTERNAL_NILA_FLASH_TARGET_TYPE",
        "INTERNAL_ORSK_FLASH_TARGET_TYPE",
        "EXTERNAL_KOLT_FLASH_TOUCHED_SECTORS_TARGET_TYPE",
        "ML675001_TARGET_TYPE",
        "ML675001_RAM_TARGET_TYPE",
        "INTERNAL_MERV_FLASH_READ_PROTECTION_TARGET_TYPE",
        "ATMEGA128_01_TARGET_TYPE",
        "S3C44B0X_01_TARGET_TYPE",
        "INTERNAL_PELD_FLASH_TARGET_TYPE",
        "INTERNAL_KOLT_FLASH_12_288MHZ_TARGET_TYPE",
        "EXTERNAL_KOLT_FLASH_12_288MHZ_TARGET_TYPE",
        "S3C44B0X_01_TARGET_TYPE_EXT_UART",
        "EXTERNAL_KOLT_FLASH_TOUCHED_SECTORS_12_288MHZ_TARGET_TYPE",
    };
    if (targettype >= std::size(kNames)) {
        return "UNKNOWN_TARGET_TYPE";
    }
    return kNames[targettype];
}
