// The port-session layer: the driver calls that open, close and re-rate the
// port, with the lines that mark them in the thread's log.
#include "serial/Sio.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"

uint32_t OpenComport(uint32_t port, uint32_t baudrate, uint32_t busmode, uint8_t stopbits) {
    Ctx().mail.openBusmode = busmode;
    TracePrint("\n### OPEN SERIAL COMPORT comport=%d, baud=%d, busmode=0x%04X ###\n",
               static_cast<int>(port & 0xFF), static_cast<int>(baudrate), busmode);
    if (!OpenSerialPort(port, baudrate, stopbits)) {
        return 0;
    }
    ResetLinkBuffers();
    return 1;
}

void CloseComport() {
    TracePrint("\n### CLOSE COMPORT ###\n");
    CloseSerialPort();
}

uint32_t ChangeComportBaud(uint32_t baudrate) {
    const uint32_t result = ChangeBaud(baudrate);
    TracePrint("\n### CHANGE BAUDRATE TO %d bit/sec ###\n", static_cast<int>(baudrate));
    ResetLinkBuffers();
    return result;
}

void ResetLinkBuffers() {
    Ctx().mail.echoPending = 0;
    ReInitBuffer();
}
