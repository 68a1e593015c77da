// Access port of the calling thread: opening the serial port in a bus mode
// with the control-line rules, the control lines themselves, and the raw
// byte send and receive with the echo removal of the single-wire bus.
#pragma once

#include <cstdint>

// Bus-mode word: the low five bits are the mode; bits 14 and 15 ask for
// RTS and DTR to be raised when the port opens.
constexpr uint32_t kBusModeMask = 0x1F;
constexpr uint32_t kBusModeSingleWire = 1; // every byte sent comes back as echo
constexpr uint32_t kBusModeDuplex = 2;
constexpr uint32_t kBusModeRaiseRts = 0x4000;
constexpr uint32_t kBusModeRaiseDtr = 0x8000;

// Opens the port and applies the control lines; 1 when open, 0 on failure
// (reported to the host unless ports are being searched).
uint32_t OpenAccessPort(uint32_t comport, uint32_t baudrate, uint32_t busmode, uint8_t stopbits);
// Drops the lines the library raised and closes the port. Returns 1.
uint32_t CloseAccessPort();
// Drives each line as its recorded state says, as at open.
void ApplyControlLines();

// Record the line state; on an open port also drive the line and tell the
// host. Each returns 1.
uint32_t LineSetDTR();
uint32_t LineClrDTR();
uint32_t LineSetRTS();
uint32_t LineClrRTS();
uint32_t LineSetBREAK();
uint32_t LineClrBREAK();

// 0 when all bytes were sent, 1 on failure.
uint32_t SendRawData(const uint8_t* bytes, uint32_t count);
// Never waits: 0 with what arrived (count may be 0), 1 on a read failure.
// In single-wire mode the echo of the last send is removed first.
uint32_t GetRawData(uint8_t* buffer, uint32_t maximum, uint32_t* count);
// 1 with the next byte, 0 on time-out or read failure.
uint32_t WaitForAnyByte(uint8_t* byte, uint32_t timeoutMs);
// 1 once the byte value arrived (others are dropped), 0 on time-out or read
// failure.
uint32_t WaitForByte(uint8_t value, uint32_t timeoutMs);
