#include "link/MailPrimitives.h"

#include <iterator>

const char* PrimitiveName(uint8_t code) {
    static constexpr const char* kNames[] = {
        "RESERVED_PRIM_000",
        "READ_MEM8_REQ",
        "READ_MEM8_RES",
        "WRITE_MEM8_REQ",
        "WRITE_MEM8_CFM",
        "READ_MEM16_REQ",
        "READ_MEM16_RES",
        "WRITE_MEM16_REQ",
        "WRITE_MEM16_CFM",
        "PROG_INT_FLASH_REQ",
        "PROG_INT_FLASH_CFM",
        "PROG_EXT_FLASH_REQ",
        "PROG_EXT_FLASH_CFM",
        "PROG_EXT_2FLASH8_REQ",
        "PROG_EXT_2FLASH8_CFM",
        "EXT_SECTOR_ERASE_REQ",
        "EXT_SECTOR_ERASE_CFM",
        "EXT_BLOCK_ERASE_REQ",
        "EXT_BLOCK_ERASE_CFM",
        "EXT_CHIP_EREASE_REQ",
        "EXT_CHIP_EREASE_CFM",
        "EXT_FLASH_TYPE_REQ",
        "EXT_FLASH_TYPE_RES",
        "CALC_CHECKSUM_REQ",
        "CALC_CHECKSUM_RES",
        "CALC_CRC32_REQ",
        "CALC_CRC32_RES",
        "SET_CONFIG_REQ",
        "SET_CONFIG_CFM",
        "SET_FLASH_PROG_CMD_ADDRESS_REQ",
        "SET_FLASH_PROG_CMD_ADDRESS_CFM",
        "GO_FROM_ADDRESS_REQ",
        "GO_FROM_ADDRESS_CFM",
        "SET_BAUDRATE_REQ",
        "SET_BAUDRATE_CFM",
        "GET_VERSION_REQ",
        "GET_VERSION_RES",
    };
    return code < std::size(kNames) ? kNames[code] : nullptr;
}
