// The ML675001 download exchange: a stream of 0x00 bytes until the boot ROM
// answers 'y', the Intel HEX text under XON/XOFF output flow control, '>'
// once the ROM has taken the end record, then '1' answered by '.'.
#include "boot/BootLoader.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "link/BusAccess.h"
#include "serial/Sio.h"

namespace {

constexpr uint32_t kSyncMs = 1000;
constexpr uint32_t kLoadedWaitMs = 2000;
constexpr uint32_t kStartWaitMs = 100;
constexpr uint8_t kSyncAnswer = 'y';
constexpr uint8_t kLoaded = '>';
constexpr uint8_t kStartCommand = '1';
constexpr uint8_t kStarted = '.';

// Reads one byte for the synchronisation. On the single-wire bus the 0x00s
// come back between the ROM's answers, and the 'y' may arrive while echoes
// of later 0x00s are still owed: removing echoes by their count would
// remove it. The ROM never sends 0x00, so here an echo is told by its
// value; what stays owed is removed by count from then on.
uint32_t ReadPastOwnZeros(uint8_t* byte, uint32_t* count) {
    MailTransport& m = Ctx().mail;
    if ((m.openBusmode & kBusModeSingleWire) == 0) {
        return GetRawData(byte, 1, count);
    }
    const uint32_t owed = m.echoPending;
    m.echoPending = 0;
    const uint32_t result = GetRawData(byte, 1, count);
    const bool echo = *count == 1 && *byte == 0x00 && owed > 0;
    m.echoPending = echo ? owed - 1 : owed;
    if (echo) {
        *count = 0;
    }
    return result;
}

// Sends 0x00 bytes until the ROM answers 'y'; one more 0x00 follows the
// 'y' itself. False on a read failure or when no 'y' came in time.
bool Synchronise() {
    const uint32_t deadline = TickDeadline(kSyncMs);
    const uint8_t zero = 0x00;
    bool answered = false;
    while (!answered) {
        uint8_t byte = 0;
        uint32_t count = 0;
        if (ReadPastOwnZeros(&byte, &count) != 0) {
            return false;
        }
        if (count == 1) {
            TracePrint("%c", byte);
            answered = byte == kSyncAnswer;
        }
        if (TickReached(deadline)) {
            return false;
        }
        // The write takes the line time of the byte; one that fails at
        // once must not turn the loop into a spin.
        if (SendRawData(&zero, 1) != 0) {
            WaitSerialReadable(1);
        }
    }
    return true;
}

// Waits for one character, tracing every character that arrives.
bool AwaitCharacter(uint8_t wanted, uint32_t timeoutMs) {
    const uint32_t deadline = TickDeadline(timeoutMs);
    for (;;) {
        uint8_t byte = 0;
        if (WaitForAnyByte(&byte, TickRemaining(deadline)) == 0) {
            return false;
        }
        TracePrint("%c", byte);
        if (byte == wanted) {
            return true;
        }
    }
}

uint32_t Exchange(const uint8_t* bytes, uint32_t count) {
    if (!Synchronise()) {
        return 1;
    }
    TracePrint("\nDownload Monitor program. Code size = %d", static_cast<int>(count));
    if (SendRawData(bytes, count) != 0) {
        return 7;
    }
    if (!AwaitCharacter(kLoaded, kLoadedWaitMs)) {
        return 1;
    }
    SendRawData(&kStartCommand, 1);
    if (!AwaitCharacter(kStarted, kStartWaitMs)) {
        return 1;
    }
    TracePrint("\n\n");
    return 0;
}

} // namespace

uint32_t Ml675001Download(const uint8_t* bytes, uint32_t count) {
    DcbfOutX(1);
    const uint32_t result = Exchange(bytes, count);
    DcbfOutX(0);
    return result;
}

uint32_t Ml675001OpenDownloadClose(uint32_t comport, uint32_t busmode, uint32_t baudrate,
                                   const uint8_t* bytes, uint32_t count) {
    if (OpenAccessPort(comport, baudrate, busmode, 0) == 0) {
        CloseAccessPort();
        return 1;
    }
    const uint32_t result = Ml675001Download(bytes, count);
    CloseAccessPort();
    return result;
}
