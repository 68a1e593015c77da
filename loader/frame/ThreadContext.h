// All working state of the library that belongs to one thread. A session
// worker and a host thread in test mode each own one, so neither sees the
// other's port, transport or log, and no lock is needed.
#pragma once

#include <cstdint>
#include <cstdio>

#include "frame/PortHandle.h"

// Parameters of one FlashLoader call, in the order the host passes them.
struct SessionParams {
    uint16_t comport = 0;
    uint16_t busmode = 0;
    uint32_t baudrate = 0;
    uint16_t targettype = 0;
    char filename[200] = {};
    uint16_t sessionid = 0;
};

// Rates and mode used to open the port; set by the monitor start.
struct LinkSettings {
    uint32_t bootBaudrate = 0;
    uint32_t workBaudrate = 0;
    uint32_t bootImageKind = 0;
    uint8_t comport = 0;
    uint32_t busmode = 0;
    // Set while ports are being searched: a port that fails to open is then
    // expected and not reported to the host.
    bool searching = false;
};

// What the library has done to the control lines; undone on close.
enum LineState : uint16_t { LINE_UNTOUCHED = 0, LINE_SET = 1, LINE_CLEARED = 2 };
enum PortState : uint16_t { PORT_NEVER_OPENED = 0, PORT_OPEN = 1, PORT_CLOSED = 2 };

struct ControlLines {
    uint16_t dtr = LINE_UNTOUCHED;
    uint16_t rts = LINE_UNTOUCHED;
    uint16_t brk = LINE_UNTOUCHED;
    uint16_t port = PORT_NEVER_OPENED;
};

// Largest response payload: length 0x10FF less the sequence and reserved bytes.
constexpr uint32_t kMaxResponsePayload = 0x10FF - 3;
// Largest frame the PC sends, and so the largest request payload.
constexpr uint32_t kMaxRequestFrame = 4352;
constexpr uint32_t kMailOverhead = 7; // start, length, sequence, reserved, checksum
constexpr uint32_t kMaxRequestPayload = kMaxRequestFrame - kMailOverhead;

struct MailTransport {
    uint8_t response[kMaxResponsePayload] = {};
    uint32_t responseLength = 0; // payload bytes of the last response
    uint8_t frame[kMaxRequestFrame] = {};
    uint32_t echoPending = 0;
    uint8_t sequence = 0;
    // Answer code a monitor may still send to the last unconfirmed request;
    // 0 when there is none to expect.
    uint8_t staleAnswer = 0;
    uint32_t openBusmode = 0;
};

struct TraceState {
    uint32_t mask = 0;
    bool printing = false;
    bool logOpen = false;    // a log file was requested for this thread
    bool rxLineOpen = false; // an "<RX:" dump line waits for its ">"
    FILE* log = nullptr;
    uint32_t ownerThread = 0; // thread that created the log; 0 until then
};

// Bytes read from the port ahead of the protocol, which takes answers a
// byte at a time: one read of the driver then serves a whole answer.
struct ReadAhead {
    uint8_t bytes[256] = {};
    uint32_t begin = 0;
    uint32_t end = 0;
};

// The last open of a port that failed on this thread: the port as the
// caller named it, the device or URL tried, and the system's reason.
struct OpenFailure {
    char port[16] = {};
    char tried[256] = {};
    char reason[256] = {};
};

struct SerialState {
    PortHandle port = kNoPort;
    OpenFailure lastOpenFailure;   // kept until the next failure
    int32_t requestedPriority = 0; // last SetHighPriority value; 0 is normal
    ReadAhead ahead;               // emptied by every purge, close and reset
};

struct Timing {
    uint32_t traceBase = 0;    // trace time stamps are relative to this tick
    uint32_t sessionStart = 0; // STOP_PROGRAM_IND reports the time since this tick
};

// What the target programmers found and decided during a session; zero at
// thread start and kept until the thread ends.
struct ProgrammerState {
    uint16_t targetType = 0;        // stored by the KOLT programmer before it branches
    uint8_t chipVariant = 0;        // KoltChipVariant of the identified chip
    uint32_t readProtection = 0;    // 1 when the MERV flash is protected afterwards
    uint16_t flashManufacturer = 0; // last external-flash identity read
    uint16_t flashDevice = 0;
    int16_t flashTypeIndex = 0; // row of the flash-type table, -1 if none
};

struct ThreadContext {
    ThreadContext() = default;
    ~ThreadContext();
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;

    LinkSettings link;
    ControlLines lines;
    MailTransport mail;
    TraceState trace;
    SerialState serial;
    Timing timing;
    uint16_t sessionId = 0; // copied into every indication record
    SessionParams session;  // the worker's own copy, read by the programmers
    ProgrammerState programmer;
};

// The calling thread's context, created zero-filled on first use.
ThreadContext& Ctx();
