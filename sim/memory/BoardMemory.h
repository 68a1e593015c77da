// The memory a board carries, chosen by its target type: the KOLT-family
// models for the KOLT types, the chip flash for the ATmega types, the
// MERV-A model for the MERV types, RAM and an external flash for the
// ARM types (14, 15, 18, 22), plain RAM for all others.
#pragma once

#include "memory/MemoryModel.h"

#include <vtarget/Board.h>

#include <memory>

namespace vtarget {

std::unique_ptr<MemoryModel> MakeBoardMemory(const BoardOptions& options);

struct FlashId {
    uint16_t manufacturer;
    uint16_t device;
};

// The identity the external flash reports. KOLT boards whose flash id was
// left at the board default carry an SST39VF160 (00BF:2782).
FlashId BoardFlashId(const BoardOptions& options);

} // namespace vtarget
