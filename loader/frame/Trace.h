// Diagnostics of the library: the error trace of failed platform calls,
// always sent to the process-wide debug output, and the per-thread trace
// output, switched by the thread's trace mask, that goes into the session or
// test-mode log file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

enum DbgLevel : uint32_t {
    DBG_LEVEL_OFF = 0,
    DBG_LEVEL_INFO = 1,
    DBG_LEVEL_WARNING = 2,
    DBG_LEVEL_SERIOUS = 3,
    DBG_LEVEL_SEVERE = 4,
};

// One formatted trace or error-trace line holds at most this many
// characters; longer text is cut.
constexpr size_t kTraceLineMax = 511;

// "<message>; <function>; Line <n> in <module>; <level name>" to the debug output.
void ErrorTrace(const char* function, unsigned line, const char* module, uint32_t level,
                const char* format, ...) __attribute__((format(printf, 5, 6)));

// printf-style line into the thread's log (or the console), when printing is on.
void TracePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Text already formatted, of any length, through the same path as TracePrint.
void TraceWrite(std::string_view text);

// Sets the thread's trace mask; 0 switches printing off and closes the log.
void SetTraceMask(uint32_t mask);

// Creates the thread's log file, once per session or test mode.
void OpenTraceLog(const char* name);

// Closes the thread's log file, if it has one.
void CloseTraceLog();

// The error log line that accompanies an error trace of a failed call.
void TraceErrorLine(const char* call, unsigned line, const char* module, const char* date,
                    const char* time);

// Hex dumps of the serial traffic (trace mask bits 0 and 1).
void TraceRxDump(const uint8_t* bytes, size_t count);
void TraceTxDump(const uint8_t* bytes, size_t count);

// Milliseconds since the thread's trace time base.
uint32_t TraceElapsedMs();

const char* DbgLevelName(uint32_t level);
const char* TargetTypeName(uint32_t targettype);

// Id of the calling thread as the log ownership check compares it.
uint32_t CurrentThreadId();

// Each module defines kModuleName, its bare source name, for these two.
#define ERROR_TRACE(function, ...)                                                                 \
    ErrorTrace(function, __LINE__, kModuleName, DBG_LEVEL_WARNING, __VA_ARGS__)
#define LOG_ERROR_LINE(call) TraceErrorLine(call, __LINE__, kModuleName, __DATE__, __TIME__)
