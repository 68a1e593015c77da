#include "frame/TraceLog.h"

#include "frame/LibrarySettings.h"
#include "frame/Tick.h"
#include "frame/Trace.h"

#include <string>

namespace {

constexpr const char* kRule =
    "+-------------------------------------------------------------------\n";

void WriteTitle(int blanks) {
    TracePrint("\n%s", kRule);
    TracePrint("|%*s\n", blanks, "");
    TracePrint("|  Ulvex log file \n");
    TracePrint("%s", kRule);
}

void WriteVersionAndBuild() {
    TracePrint("|  Ulvex Version: V%04d.%04d\n", 2, 65);
    TracePrint("|  Build date     : %s %s\n", __DATE__, __TIME__);
    TracePrint("%s", kRule);
}

} // namespace

void StartThreadLog(const char* prefix) {
    ThreadContext& c = Ctx();
    c.timing.traceBase = TickNow();
    c.timing.sessionStart = c.timing.traceBase;
    uint32_t mask = DebugMask.load();
    if (mask != 0) {
        std::string name = prefix + std::to_string(c.sessionId) + ".log";
        OpenTraceLog(name.c_str());
    }
    SetTraceMask(mask);
}

void WriteSessionLogHeader(const SessionParams& session) {
    WriteTitle(70);
    TracePrint("|  Comport        : %d\n", session.comport);
    TracePrint("|  BusMode        : %04X\n", session.busmode);
    TracePrint("|  Baudrate       : %d\n", static_cast<int>(session.baudrate));
    TracePrint("|  Target         : %s\n", TargetTypeName(session.targettype));
    TracePrint("|  Filename       : %s\n", session.filename);
    TracePrint("|  SessionID      : %d\n", session.sessionid);
    WriteVersionAndBuild();
}

void WriteTestModeLogHeader(uint32_t targettype, uint16_t sessionid) {
    WriteTitle(69);
    TracePrint("|  Target         : %s\n", TargetTypeName(targettype));
    TracePrint("|  SessionID      : %d\n", sessionid);
    WriteVersionAndBuild();
}
