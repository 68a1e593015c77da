// The primitives a monitor understands: requests have odd codes, their
// responses or confirms the next even code.
#pragma once

#include <cstdint>

enum Primitive : uint8_t {
    RESERVED_PRIM_000 = 0,
    READ_MEM8_REQ = 1,
    READ_MEM8_RES = 2,
    WRITE_MEM8_REQ = 3,
    WRITE_MEM8_CFM = 4,
    READ_MEM16_REQ = 5,
    READ_MEM16_RES = 6,
    WRITE_MEM16_REQ = 7,
    WRITE_MEM16_CFM = 8,
    PROG_INT_FLASH_REQ = 9,
    PROG_INT_FLASH_CFM = 10,
    PROG_EXT_FLASH_REQ = 11,
    PROG_EXT_FLASH_CFM = 12,
    PROG_EXT_2FLASH8_REQ = 13,
    PROG_EXT_2FLASH8_CFM = 14,
    EXT_SECTOR_ERASE_REQ = 15,
    EXT_SECTOR_ERASE_CFM = 16,
    EXT_BLOCK_ERASE_REQ = 17,
    EXT_BLOCK_ERASE_CFM = 18,
    EXT_CHIP_EREASE_REQ = 19,
    EXT_CHIP_EREASE_CFM = 20,
    EXT_FLASH_TYPE_REQ = 21,
    EXT_FLASH_TYPE_RES = 22,
    CALC_CHECKSUM_REQ = 23,
    CALC_CHECKSUM_RES = 24,
    CALC_CRC32_REQ = 25,
    CALC_CRC32_RES = 26,
    SET_CONFIG_REQ = 27,
    SET_CONFIG_CFM = 28,
    SET_FLASH_PROG_CMD_ADDRESS_REQ = 29,
    SET_FLASH_PROG_CMD_ADDRESS_CFM = 30,
    GO_FROM_ADDRESS_REQ = 31,
    GO_FROM_ADDRESS_CFM = 32,
    SET_BAUDRATE_REQ = 33,
    SET_BAUDRATE_CFM = 34,
    GET_VERSION_REQ = 35,
    GET_VERSION_RES = 36,
};

// The primitive's name, or nullptr for a code beyond the table.
const char* PrimitiveName(uint8_t code);
