// One programming session on its own worker thread: take the parameters,
// open the log, announce the start, run the family's programmer, close the
// port and announce the end, whatever happened in between.
#include "api/FLoader.h"
#include "frame/Indication.h"
#include "frame/Trace.h"
#include "frame/TraceLog.h"
#include "link/BusAccess.h"
#include "link/LinkState.h"
#include "programmers/Programmers.h"
#include "serial/Sio.h"

namespace {

void TakeParameters(const SessionParams* hostBlock) {
    ThreadContext& c = Ctx();
    c.session = *hostBlock;
    SessionBusy = 0;
    c.sessionId = c.session.sessionid;
}

void StartTrace() {
    StartThreadLog("Session_");
    WriteSessionLogHeader(Ctx().session);
}

} // namespace

void SessionWorker(const SessionParams* hostBlock) {
    TakeParameters(hostBlock);
    ResetLinkState();
    StartTrace();
    SendIndicationLong(START_PROGRAM_IND, ULVEX_VERSION);

    const SessionParams& session = Ctx().session;
    if (ProgrammerEntry programmer = ProgrammerFor(session.targettype)) {
        programmer(session);
    }

    CloseAccessPort();
    SendIndicationLong(STOP_PROGRAM_IND, TickNow() - Ctx().timing.sessionStart);
    SetTraceMask(0);
}
