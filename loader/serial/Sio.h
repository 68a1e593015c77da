// Serial port driver of the calling thread: open with fixed line settings,
// baud rate and XON/XOFF changes, raw writes and non-blocking reads, the
// DTR, RTS and BREAK lines, purges and close; the port-session layer that
// marks these events in the log. The millisecond tick helpers are the
// frame's (frame/Tick.h).
#pragma once

#include "frame/Tick.h"
#include "serial/SioPlatform.h"

#include <cstdint>

// Driver queue sizes set at open.
constexpr uint32_t kReceiveQueueSize = 61440;
constexpr uint32_t kTransmitQueueSize = 0;

// Purge masks: everything after a (re)configuration and at close; the
// buffers only between transactions.
constexpr uint32_t kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr uint32_t kPurgeBuffers = PURGE_TXCLEAR | PURGE_RXCLEAR;

// True when a port is open afterwards, also when one already was (the
// parameters of the second call are then ignored). Only the low 8 bits of
// port count; COM1 to COM254 exist.
bool OpenSerialPort(uint32_t port, uint32_t baudrate, uint8_t stopbits);
// 1 on success, 0 on failure; the port stays open either way.
uint32_t ChangeBaud(uint32_t baudrate);
// XON/XOFF output flow control from bit 0 of on; 0 on success, 1 on failure.
uint32_t DcbfOutX(uint32_t on);
void CloseSerialPort();
// 0 on success or with no port open (written 0); 1 on a write failure.
// Returns once the bytes have left the PC.
uint32_t SendSerialDataBlock(const uint8_t* bytes, uint32_t count, uint32_t* written);
uint32_t SendSerialData(uint8_t byte);
// Never waits: 0 with what has arrived (possibly nothing) or with no port
// open; 1 on a read failure (read 0).
uint32_t GetSerialData(uint8_t* buffer, uint32_t capacity, uint32_t* read);
// Clears both driver buffers; with no port open the purge fails and says so.
void ReInitBuffer();
// Non-zero on success, 0 on failure.
uint32_t SioSetRTS();
uint32_t SioClrRTS();
uint32_t SioSetDTR();
uint32_t SioClrDTR();
uint32_t SioSetBREAK();
uint32_t SioClrBREAK();
// Prints the line settings and time-outs of a port that is not open yet to
// standard output; 1 after printing, 0 when it could not.
uint32_t ShowSerialControlSettings(uint32_t port);

// Blocks until the port has a byte to read or the time is up. With no port
// open nothing can arrive: it waits out the time. Returns true when a read
// is worth trying (a byte, or an error the read will report).
bool WaitSerialReadable(uint32_t timeoutMs);

// Forgets the thread's port (without closing it): a new session or test
// mode starts with no port open.
void ResetSerialState();

// Port-session layer: the driver calls with their log lines.
uint32_t OpenComport(uint32_t port, uint32_t baudrate, uint32_t busmode, uint8_t stopbits);
void CloseComport();
uint32_t ChangeComportBaud(uint32_t baudrate);
// Forgets pending echo bytes and clears both driver buffers.
void ResetLinkBuffers();
