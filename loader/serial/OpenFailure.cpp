#include "serial/OpenFailure.h"

#include "frame/OpenFailures.h"
#include "frame/ThreadContext.h"

#include <cstdio>

void NoteOpenFailure(uint8_t port, const std::string& tried, const std::string& reason) {
    OpenFailure& f = Ctx().serial.lastOpenFailure;
    std::snprintf(f.port, sizeof f.port, "COM%u", static_cast<unsigned>(port));
    std::snprintf(f.tried, sizeof f.tried, "%s", tried.c_str());
    std::snprintf(f.reason, sizeof f.reason, "%s", reason.c_str());
    PublishOpenFailure(Ctx().sessionId, f);
}
