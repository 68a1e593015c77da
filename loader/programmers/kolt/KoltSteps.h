// The steps of the KOLT-family programmer. Each returns 0 or the failing
// code, having sent the error report for it.
#pragma once

#include <cstdint>

// Registers of the chip's flash controller and bus interface.
constexpr uint32_t kKoltFlashControl = 0xFFE130;
constexpr uint32_t kKoltFlashConfig = 0xFFE124;
constexpr uint32_t kKoltBusConfig = 0xFFE110;
constexpr uint32_t kKoltBusTiming1 = 0xFFE116;
constexpr uint32_t kKoltBusTiming2 = 0xFFE118;
constexpr uint32_t kKoltRestartVector = 0xFFE20A;
constexpr uint32_t kKoltRestart = 0xFFE108;

// Flash controller busy bits.
constexpr uint16_t kKoltInfoBusy = 0x0010;
constexpr uint16_t kKoltCommandBusy = 0x0020;
constexpr uint16_t kKoltOperationBusy = 0x0100;

// Flash controller commands.
constexpr uint16_t kKoltFirstEraseBase = 0x000B;
constexpr uint16_t kKoltFirstEraseOther = 0x0007;
constexpr uint16_t kKoltSecondEraseBase = 0x008B;
constexpr uint16_t kKoltSecondEraseOther = 0x0087;
constexpr uint16_t kKoltProgramCommand = 0x000D;
constexpr uint16_t kKoltInfoBlockCommand = 0x0089;
constexpr uint16_t kKoltEndCommand = 0x0000;

// Flash command addresses (internal flash and the external modes).
constexpr uint32_t kKoltCommandAddress1 = 0x085554;
constexpr uint32_t kKoltCommandAddress2 = 0x08AAAA;

// Polls register until none of the mask's bits is set: 0; 1 once 5000 ms
// have passed (without a report of its own); or a read's code.
uint32_t WaitFlashController(uint32_t address, uint16_t mask);
uint32_t EraseKoltUnit(uint32_t unitAddress, uint16_t command);
uint32_t ProgramKoltInternal(const uint8_t* image, uint32_t start, uint32_t size);
uint32_t WriteKoltInfoBlock(uint32_t size);

uint32_t SetupKoltExternalBus();
uint32_t ProgramKoltExternal(const uint8_t* image, uint32_t start, uint32_t size);
uint32_t ProgramKolt2x8(const uint8_t* image, uint32_t start, uint32_t size);
uint32_t ProgramKoltTouchedSectors(const uint8_t* image, uint32_t start, uint32_t size);
