// The ATmega path: the resident boot loader already speaks mails. The PC
// searches for the port (the board may appear later), wakes the boot loader
// with a fixed mail until it answers 0x02, asks for its version and moves
// it to the working rate.
#include "boot/BootSteps.h"

#include "frame/Indication.h"
#include "frame/LibrarySettings.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "link/BusAccess.h"
#include "link/Primitives.h"
#include "serial/Sio.h"

#include <algorithm>

namespace {

constexpr uint32_t kBootRate = 115200;
constexpr uint32_t kRetryOpenMs = 600;
constexpr uint32_t kWakeResendMs = 2000;
constexpr uint8_t kAwake = 0x02;
// A mail frame with sequence 0 and the payload 0x5D 0x00 0x00 0x00.
constexpr uint8_t kWakeMail[] = {0x10, 0x00, 0x07, 0x00, 0x00, 0x00, 0x5D, 0x00, 0x00, 0x00, 0x5D};

// Tries to open the port until it opens or the deadline passes.
bool SearchPort(uint32_t comport, uint32_t busmode, uint32_t deadline) {
    while (!TickReached(deadline)) {
        if (OpenAccessPort(comport, kBootRate, busmode, 0) != 0) {
            return true;
        }
        DelayMs(kRetryOpenMs);
    }
    return false;
}

void SendWakeMail() {
    SendRawData(kWakeMail, sizeof kWakeMail);
}

// Waits for the boot loader's 0x02, resending the wake mail every two
// seconds. 1 when it came, 0 at the deadline, -1 on a read failure.
int AwaitAwake(uint32_t deadline) {
    uint32_t resendAt = TickDeadline(kWakeResendMs);
    DelayMs(10);
    while (!TickReached(deadline)) {
        uint8_t byte = 0;
        uint32_t count = 0;
        if (GetRawData(&byte, 1, &count) != 0) {
            return -1;
        }
        if (count == 1 && byte == kAwake) {
            return 1;
        }
        if (TickReached(resendAt)) {
            SendWakeMail();
            resendAt = TickDeadline(kWakeResendMs);
        }
        if (count == 0) {
            WaitSerialReadable(std::min(TickRemaining(deadline), TickRemaining(resendAt)));
        }
    }
    return 0;
}

uint32_t GreetBootLoader(uint32_t baudrate) {
    uint32_t version = 0;
    if (MonGetVersion(&version) != 0) {
        TracePrint("\n### Error : Bootloader is NOT running ###");
        return 1;
    }
    TracePrint("\n### Bootloader (version = %04X) is running ....###", version);
    if (baudrate == kBootRate) {
        return 0;
    }
    TracePrint("\n### Change bootloader baudrate ###");
    MoveToWorkingRate(baudrate);
    return 0;
}

} // namespace

uint32_t StartAtmegaBootLoader(uint32_t comport, uint32_t busmode, uint32_t baudrate) {
    LinkSettings& link = Ctx().link;
    const uint32_t deadline = TickDeadline(BootLoaderTimeoutMs);
    link.searching = true;
    SendIndication(COM_PORT_SEARCHING_IND);
    const bool found = SearchPort(comport, busmode, deadline);
    link.searching = false;
    if (!found) {
        SendIndication(COM_PORT_SEARCHING_TIMEOUT_IND);
        return 1;
    }
    SendIndication(COM_PORT_FOUND_IND);
    SendWakeMail();
    // A boot loader that was found but does not wake or answer is reported,
    // so that the session does not end without a reason.
    if (AwaitAwake(deadline) <= 0 || GreetBootLoader(baudrate) != 0) {
        SendIndication(DOWNLOAD_FAILED_IND);
        return 1;
    }
    return 0;
}
