// The report a programmer step makes when it fails: MAIL_ERROR_IND with the
// code, then a text naming the failing check, its module and the module's
// build time. Each enclosing step reports the same code again, so the host
// sees the fault once per level, the deepest first.
#pragma once

#include <cstdint>

// Sends both indications and returns code, for `return REPORT...(code);`.
uint32_t ProgrammerErrorReport(uint32_t code, unsigned check, const char* module, const char* date,
                               const char* time);

// The one more MAIL_ERROR_IND a programmer's entry sends for a failure that
// its steps have reported already. Returns code.
uint32_t EndWithMailError(uint32_t code);

// The failing check is numbered by its line. A module spread over several
// files gives each file its own kReportCheckBase (a multiple of 1000), so the
// numbers stay unique within the module; kReportModule names the module.
// __DATE__ and __TIME__ are those of the file that uses the macro.
#define REPORT_PROGRAMMER_ERROR(code)                                                              \
    ProgrammerErrorReport((code), kReportCheckBase + __LINE__, kReportModule, __DATE__, __TIME__)

// Returns from the calling step with the report when expr yields a code.
#define RETURN_REPORTED_ON_FAILURE(expr)                                                           \
    do {                                                                                           \
        if (const uint32_t failure_ = (expr); failure_ != 0) {                                     \
            return REPORT_PROGRAMMER_ERROR(failure_);                                              \
        }                                                                                          \
    } while (0)

// Passes a code on without another report: for helpers inside one step,
// which have reported at that step's level already.
#define RETURN_ON_FAILURE(expr)                                                                    \
    do {                                                                                           \
        if (const uint32_t failure_ = (expr); failure_ != 0) {                                     \
            return failure_;                                                                       \
        }                                                                                          \
    } while (0)
