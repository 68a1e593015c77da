// A KOLT-family board driven as the PC's KOLT programmer drives it: 16-bit
// register writes, the flash controller's busy polling, the unit erase.
#pragma once

#include "BoardFixture.h"

class KoltTest : public BoardTest {
  protected:
    // A board of this KOLT target type with its monitor running.
    static vtarget::BoardOptions Kolt(int targetType);

    // Confirmed WRITE_MEM16 of one word; the status, -1 without answer.
    int Write16(uint32_t address, uint16_t value);
    // READ_MEM16 of one word; -1 without answer.
    int Read16(uint32_t address);
    std::vector<uint8_t> Read8(uint32_t address, uint16_t count);
    // Polls the flash controller until none of mask's bits is set.
    bool WaitNotBusy(uint16_t mask, std::chrono::milliseconds timeout = 2000ms);
    // The PC's erase of one internal unit with one controller command.
    void EraseUnit(uint32_t unit, uint16_t command);
    // Both erase passes of a unit.
    void EraseUnitFully(uint32_t unit);
    // PROG_INT_FLASH / PROG_EXT_FLASH / PROG_EXT_2FLASH8 of words; the status.
    int ProgramWords(uint8_t code, uint32_t address, const std::vector<uint16_t>& words);
};

constexpr uint32_t kController = 0xFFE130;
constexpr uint16_t kBusyBits = 0x0130;
