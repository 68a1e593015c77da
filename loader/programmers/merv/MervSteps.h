// The steps of the MERV-family programmer. The chip's internal flash sits
// behind a byte-wide flash controller that the PC drives with memory-write
// mails; the monitor writes the data. Each step returns 0 or the failing
// code, having sent the error report for it.
#pragma once

#include <cstdint>

// The flash control register and the restart register.
constexpr uint32_t kMervFlashControl = 0xAC00;
constexpr uint32_t kMervRestart = 0xFF67;
constexpr uint8_t kMervRestartCommand = 0x80;

// Flash controller commands.
constexpr uint8_t kMervFirstErase = 0x03;
constexpr uint8_t kMervSecondErase = 0x43;
constexpr uint8_t kMervProgramCommand = 0x01;
constexpr uint8_t kMervInfoCommand = 0x41; // marker and protection bytes
constexpr uint8_t kMervEndCommand = 0x00;

// Flash controller busy bits: the operation, and the command interface.
constexpr uint8_t kMervOperationBusy = 0x18;
constexpr uint8_t kMervCommandBusy = 0x08;

// Flash command addresses and their unlock bytes; a sector takes the
// second unlock byte at its first address.
constexpr uint32_t kMervCommandAddress1 = 0x5555;
constexpr uint32_t kMervCommandAddress2 = 0xAAAA;
constexpr uint8_t kMervUnlock1 = 0xAA;
constexpr uint8_t kMervUnlock2 = 0x55;

// Bytes beside the flash array at the first flash addresses.
constexpr uint32_t kMervMarker = 0x0002;         // 0x70, 0x50
constexpr uint32_t kMervReadProtection = 0x0004; // 0x00, 0x00

// Polls the flash controller until none of the mask's bits is set: 0; 1
// once 5000 ms have passed (without a report of its own); or a read's code.
uint32_t WaitMervController(uint8_t mask);
uint32_t EraseMervSector(uint32_t sector);
// One erase pass with the command over all four sectors, the highest first.
uint32_t RunMervErasePass(uint8_t command);
uint32_t ProgramMervBlocks(const uint8_t* image, uint32_t start, uint32_t size);
uint32_t WriteMervMarker();
uint32_t SetMervReadProtection();
// Erase, programming and marker, with their indications.
uint32_t ProgramMervInternal(const uint8_t* image, uint32_t start, uint32_t size);
