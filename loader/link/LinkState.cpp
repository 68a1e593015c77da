#include "link/LinkState.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "serial/Sio.h"

void ResetLinkState() {
    ThreadContext& c = Ctx();
    c.link.bootBaudrate = 0;
    c.link.workBaudrate = 0;
    c.link.bootImageKind = 0;
    c.link.comport = 1;
    c.link.busmode = 1;
    c.trace.mask = 0;
    c.mail.echoPending = 0;
    c.mail.openBusmode = 0;
    c.mail.sequence = 0;
    c.mail.staleAnswer = 0;
    // A log left open by an unfinished test mode is closed, not leaked with
    // its unwritten tail.
    CloseTraceLog();
    c.trace.logOpen = false;
    c.trace.rxLineOpen = false;
    ResetSerialState();
    c.link.searching = false;
}
