#include "link/BusAccess.h"

#include "frame/Indication.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "serial/Sio.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kModuleName = "BusAccess";

bool SingleWireMode() {
    return (Ctx().link.busmode & kBusModeMask) == kBusModeSingleWire;
}

bool PortOpen() {
    return Ctx().lines.port == PORT_OPEN;
}

void Drive(uint32_t (*line)(), ComportCtrlAction action) {
    line();
    SendIndicationWord(COMPORT_CTRL_IND, action);
}

// One line: set or cleared as recorded; an untouched line is left alone.
void ApplyLine(uint16_t state, uint32_t (*set)(), ComportCtrlAction setAction, uint32_t (*clear)(),
               ComportCtrlAction clearAction) {
    if (state == LINE_SET) {
        Drive(set, setAction);
    } else if (state == LINE_CLEARED) {
        Drive(clear, clearAction);
    }
}

uint32_t RecordLine(uint16_t& state, uint16_t value, uint32_t (*line)(), ComportCtrlAction action) {
    state = value;
    if (PortOpen()) {
        Drive(line, action);
    }
    return 1;
}

} // namespace

void ApplyControlLines() {
    ControlLines& l = Ctx().lines;
    // The single-wire interface is powered from DTR: raise it unless the
    // host decided otherwise.
    if (l.dtr == LINE_UNTOUCHED && SingleWireMode()) {
        l.dtr = LINE_SET;
    }
    ApplyLine(l.dtr, SioSetDTR, COMPORT_CTRL_DTR_SET, SioClrDTR, COMPORT_CTRL_DTR_CLR);
    ApplyLine(l.rts, SioSetRTS, COMPORT_CTRL_RTS_SET, SioClrRTS, COMPORT_CTRL_RTS_CLR);
    ApplyLine(l.brk, SioSetBREAK, COMPORT_CTRL_BREAK_SET, SioClrBREAK, COMPORT_CTRL_BREAK_CLR);
}

uint32_t OpenAccessPort(uint32_t comport, uint32_t baudrate, uint32_t busmode, uint8_t stopbits) {
    ThreadContext& c = Ctx();
    c.link.busmode = busmode;
    if (OpenComport(comport, baudrate, busmode & kBusModeMask, stopbits) == 0) {
        if (!c.link.searching) {
            SendIndication(COM_PORT_ACCESS_FAIL_IND);
        }
        return 0;
    }
    c.lines.port = PORT_OPEN;
    if ((busmode & kBusModeRaiseDtr) != 0) {
        c.lines.dtr = LINE_SET;
    }
    if ((busmode & kBusModeRaiseRts) != 0) {
        c.lines.rts = LINE_SET;
    }
    ApplyControlLines();
    return 1;
}

uint32_t CloseAccessPort() {
    ControlLines& l = Ctx().lines;
    // Without an open port there is no line to drop; only the states change.
    const bool open = PortOpen();
    if (l.dtr == LINE_SET || (l.dtr == LINE_UNTOUCHED && SingleWireMode())) {
        open&& SioClrDTR();
        l.dtr = LINE_CLEARED;
    }
    if (l.rts == LINE_SET) {
        open&& SioClrRTS();
        l.rts = LINE_CLEARED;
    }
    if (l.brk == LINE_SET) {
        open&& SioClrBREAK();
        l.brk = LINE_CLEARED;
    }
    CloseComport();
    l.port = PORT_CLOSED;
    return 1;
}

uint32_t LineSetDTR() {
    return RecordLine(Ctx().lines.dtr, LINE_SET, SioSetDTR, COMPORT_CTRL_DTR_SET);
}

uint32_t LineClrDTR() {
    return RecordLine(Ctx().lines.dtr, LINE_CLEARED, SioClrDTR, COMPORT_CTRL_DTR_CLR);
}

uint32_t LineSetRTS() {
    return RecordLine(Ctx().lines.rts, LINE_SET, SioSetRTS, COMPORT_CTRL_RTS_SET);
}

uint32_t LineClrRTS() {
    return RecordLine(Ctx().lines.rts, LINE_CLEARED, SioClrRTS, COMPORT_CTRL_RTS_CLR);
}

uint32_t LineSetBREAK() {
    return RecordLine(Ctx().lines.brk, LINE_SET, SioSetBREAK, COMPORT_CTRL_BREAK_SET);
}

uint32_t LineClrBREAK() {
    return RecordLine(Ctx().lines.brk, LINE_CLEARED, SioClrBREAK, COMPORT_CTRL_BREAK_CLR);
}

uint32_t SendRawData(const uint8_t* bytes, uint32_t count) {
    uint32_t written = 0;
    if (SendSerialDataBlock(bytes, count, &written) != 0) {
        LOG_ERROR_LINE("SendRawData()");
        return 1;
    }
    Ctx().mail.echoPending += written;
    if (written < count) {
        LOG_ERROR_LINE("SendRawData() ByteWritten!=NoOfBytes2Send ");
        return 1;
    }
    TraceTxDump(bytes, written);
    return 0;
}

uint32_t GetRawData(uint8_t* buffer, uint32_t maximum, uint32_t* count) {
    uint32_t received = 0;
    if (GetSerialData(buffer, maximum, &received) != 0) {
        LOG_ERROR_LINE("GetRawData()");
        *count = 0;
        return 1;
    }
    // On the single-wire bus the first bytes after a send are its echo.
    MailTransport& m = Ctx().mail;
    if ((m.openBusmode & 1) != 0 && m.echoPending > 0) {
        const uint32_t echo = std::min(m.echoPending, received);
        m.echoPending -= echo;
        received -= echo;
        std::memmove(buffer, buffer + echo, received);
    }
    TraceRxDump(buffer, received);
    *count = received;
    return 0;
}

// Both waits block on the port until it is readable rather than polling it,
// so the thread sleeps and still sees a byte the moment it arrives.
uint32_t WaitForAnyByte(uint8_t* byte, uint32_t timeoutMs) {
    const uint32_t deadline = TickDeadline(timeoutMs);
    for (;;) {
        uint32_t count = 0;
        if (GetRawData(byte, 1, &count) != 0) {
            return 0;
        }
        if (count == 1) {
            return 1;
        }
        if (TickReached(deadline)) {
            return 0;
        }
        WaitSerialReadable(TickRemaining(deadline));
    }
}

uint32_t WaitForByte(uint8_t value, uint32_t timeoutMs) {
    const uint32_t deadline = TickDeadline(timeoutMs);
    for (;;) {
        uint8_t byte = 0;
        const uint32_t remaining = TickRemaining(deadline);
        if (WaitForAnyByte(&byte, remaining) == 0) {
            return 0;
        }
        if (byte == value) {
            return 1;
        }
    }
}
