// Request functions of the monitor primitives. Each runs one mail
// transaction on the calling thread and returns a MailError code: the
// transport's code, 8 when the answer carries another primitive (or is too
// short for its own), 9 when a confirm's status is not 1, 10 when a read asks
// for more than one mail carries. Out parameters are written only on success.
#pragma once

#include <cstdint>

// Largest reads and writes that fit one mail.
constexpr uint32_t kReadMem8MaxBytes = 4346;
constexpr uint32_t kReadMem16MaxWords = 2173;

uint32_t MonReadMem8(uint32_t address, uint32_t count, uint8_t* out);
// Words arrive low byte first.
uint32_t MonReadMem16(uint32_t address, uint32_t count, uint16_t* out);
uint32_t MonReadByte(uint32_t address, uint8_t* out);
uint32_t MonReadWord(uint32_t address, uint16_t* out);

uint32_t MonWriteMem16(uint32_t address, uint32_t count, const uint16_t* words);
// Returns once the request has been sent; a confirm is dropped by the
// next transaction's buffer clearing.
uint32_t MonWriteMem16NoConfirm(uint32_t address, uint32_t count, const uint16_t* words);
uint32_t MonWriteMem8(uint32_t address, uint32_t count, const uint8_t* bytes);
uint32_t MonWriteMem8NoConfirm(uint32_t address, uint32_t count, const uint8_t* bytes);
uint32_t MonWriteWord(uint32_t address, uint16_t value);
uint32_t MonWriteByte(uint32_t address, uint8_t value);

uint32_t MonProgIntFlash16(uint32_t address, uint32_t count, const uint16_t* words);
uint32_t MonProgExtFlash16(uint32_t address, uint32_t count, const uint16_t* words);
// An external flash built from two 8-bit devices.
uint32_t MonProgExt2Flash8(uint32_t address, uint32_t count, const uint16_t* words);
uint32_t MonProgIntFlash8(uint32_t address, uint32_t count, const uint8_t* bytes);
uint32_t MonProgExtFlash8(uint32_t address, uint32_t count, const uint8_t* bytes);

uint32_t MonSectorErase(uint32_t address);
uint32_t MonBlockErase(uint32_t address);
uint32_t MonChipErase();
uint32_t MonFlashType(uint16_t* manufacturer, uint16_t* device);
uint32_t MonChecksum(uint32_t start, uint32_t end, uint32_t* value);
uint32_t MonCrc32(uint32_t start, uint32_t end, uint32_t* value);
// Sent without waiting for an answer.
uint32_t MonSetConfig(uint32_t configuration);
uint32_t MonSetFlashCmdAddresses(uint32_t base, uint32_t address2, uint32_t address1);
uint32_t MonGoFromAddress(uint32_t address);
// The PC's own port keeps its rate.
uint32_t MonSetBaudrate(uint32_t baudrate);
uint32_t MonGetVersion(uint32_t* version);
