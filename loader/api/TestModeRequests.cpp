// Test-mode exports carried in mails to the monitor: memory and flash
// transfers, erases, the flash identity, CRC32 and checksum, configuration,
// jump and baud rate. A null host pointer is refused before anything is
// sent, with a code the transport never produces.
#include "link/Primitives.h"
#include "ulvex.h"

namespace {

constexpr uint32_t kNullPointer = MAIL_UNEXPECTED_RETURN_VALUE;

// Read counts are 16-bit on the wire.
constexpr uint32_t kReadCountMask = 0xFFFF;

template <typename Unit>
using Transfer = uint32_t (*)(uint32_t, uint32_t, const Unit*);

template <typename Unit>
uint32_t Guarded(Transfer<Unit> transfer, uint32_t address, uint32_t count, const Unit* data) {
    if (data == nullptr) {
        return kNullPointer;
    }
    return transfer(address, count, data);
}

} // namespace

extern "C" {

ULVEX_API uint32_t ULVEX_CALL TM_ReadMemory16(uint32_t address, uint32_t count, uint16_t* buffer) {
    if (buffer == nullptr) {
        return kNullPointer;
    }
    return MonReadMem16(address, count & kReadCountMask, buffer);
}

ULVEX_API uint32_t ULVEX_CALL TM_ReadMemory8(uint32_t address, uint32_t count, uint8_t* buffer) {
    if (buffer == nullptr) {
        return kNullPointer;
    }
    return MonReadMem8(address, count & kReadCountMask, buffer);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory16(uint32_t address, uint32_t count,
                                               const uint16_t* data) {
    return Guarded(MonWriteMem16, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory16_NoConfirm(uint32_t address, uint32_t count,
                                                         const uint16_t* data) {
    return Guarded(MonWriteMem16NoConfirm, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory8(uint32_t address, uint32_t count,
                                              const uint8_t* data) {
    return Guarded(MonWriteMem8, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteMemory8_NoConfirm(uint32_t address, uint32_t count,
                                                        const uint8_t* data) {
    return Guarded(MonWriteMem8NoConfirm, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteIntFlash16(uint32_t address, uint32_t count,
                                                 const uint16_t* data) {
    return Guarded(MonProgIntFlash16, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteExtFlash16(uint32_t address, uint32_t count,
                                                 const uint16_t* data) {
    return Guarded(MonProgExtFlash16, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteExtFlash16_2(uint32_t address, uint32_t count,
                                                   const uint16_t* data) {
    return Guarded(MonProgExt2Flash8, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteIntFlash8(uint32_t address, uint32_t count,
                                                const uint8_t* data) {
    return Guarded(MonProgIntFlash8, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_WriteExtFlash8(uint32_t address, uint32_t count,
                                                const uint8_t* data) {
    return Guarded(MonProgExtFlash8, address, count, data);
}

ULVEX_API uint32_t ULVEX_CALL TM_Rd16(uint32_t address, uint16_t* value) {
    if (value == nullptr) {
        return kNullPointer;
    }
    return MonReadWord(address, value);
}

ULVEX_API uint32_t ULVEX_CALL TM_Rd8(uint32_t address, uint8_t* value) {
    if (value == nullptr) {
        return kNullPointer;
    }
    return MonReadByte(address, value);
}

ULVEX_API uint32_t ULVEX_CALL TM_Wr16(uint32_t address, uint32_t value) {
    return MonWriteWord(address, static_cast<uint16_t>(value));
}

ULVEX_API uint32_t ULVEX_CALL TM_Wr8(uint32_t address, uint32_t value) {
    return MonWriteByte(address, static_cast<uint8_t>(value));
}

ULVEX_API uint32_t ULVEX_CALL TM_CalcCRC32(uint32_t start, uint32_t end, uint32_t* crc) {
    if (crc == nullptr) {
        return kNullPointer;
    }
    return MonCrc32(start, end, crc);
}

ULVEX_API uint32_t ULVEX_CALL TM_CalcChecksum(uint32_t start, uint32_t end, uint32_t* sum) {
    if (sum == nullptr) {
        return kNullPointer;
    }
    return MonChecksum(start, end, sum);
}

ULVEX_API uint32_t ULVEX_CALL TM_SetConfiguration(uint32_t configuration) {
    return MonSetConfig(configuration);
}

ULVEX_API uint32_t ULVEX_CALL TM_SetExtFlashProgCMDAddress(uint32_t base, uint32_t address2aaa,
                                                           uint32_t address5555) {
    return MonSetFlashCmdAddresses(base, address2aaa, address5555);
}

ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashSectorErase(uint32_t address) {
    return MonSectorErase(address);
}

ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashBlockErase(uint32_t address) {
    return MonBlockErase(address);
}

ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashChipErase(void) {
    return MonChipErase();
}

ULVEX_API uint32_t ULVEX_CALL TM_ExtFlashTypeInfo(uint16_t* manufacturer, uint16_t* device) {
    if (manufacturer == nullptr || device == nullptr) {
        return kNullPointer;
    }
    return MonFlashType(manufacturer, device);
}

ULVEX_API uint32_t ULVEX_CALL TM_GoFromAddress(uint32_t address) {
    return MonGoFromAddress(address);
}

// Only the monitor changes its rate; the PC port keeps its own, so the host
// reopens the port at the new rate to go on talking.
ULVEX_API uint32_t ULVEX_CALL TM_SetBaudrate(uint32_t baudrate) {
    return MonSetBaudrate(baudrate);
}

} // extern "C"
