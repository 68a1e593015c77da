#include "link/Primitives.h"

#include "frame/ThreadContext.h"
#include "link/MailPrimitives.h"
#include "link/MailTransport.h"
#include "ulvex.h"

#include <cstring>
#include <thread>

namespace {

// Code byte, 32-bit address and 16-bit count in front of a transfer's data.
constexpr uint32_t kTransferHeader = 7;

// A request payload under construction, little-endian.
class Request {
  public:
    explicit Request(uint8_t primitive) { bytes_[size_++] = primitive; }

    Request& U16(uint32_t value) {
        bytes_[size_++] = static_cast<uint8_t>(value);
        bytes_[size_++] = static_cast<uint8_t>(value >> 8);
        return *this;
    }
    Request& U32(uint32_t value) { return U16(value & 0xFFFF).U16(value >> 16); }
    Request& Data(const uint8_t* data, uint32_t count) {
        std::memcpy(bytes_ + size_, data, count);
        size_ += count;
        return *this;
    }
    Request& Data(const uint16_t* data, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) {
            U16(data[i]);
        }
        return *this;
    }

    const uint8_t* Bytes() const { return bytes_; }
    uint32_t Size() const { return size_; }

  private:
    uint8_t bytes_[kMaxRequestPayload];
    uint32_t size_ = 0;
};

// The last response's payload; its length is checked by Exchange().
const uint8_t* Response() {
    return Ctx().mail.response;
}

uint32_t ResponseLength() {
    return Ctx().mail.responseLength;
}

uint32_t ResponseU16(uint32_t at) {
    return Response()[at] | Response()[at + 1] << 8;
}

uint32_t ResponseU32(uint32_t at) {
    return ResponseU16(at) | ResponseU16(at + 2) << 16;
}

// Runs the transaction and checks that the answer is the expected
// primitive with at least dataBytes after its code.
uint32_t Exchange(const Request& request, uint8_t expected, uint32_t dataBytes) {
    const uint32_t code = MailTransaction(request.Bytes(), request.Size(), Ctx().mail.response);
    if (code != MAIL_NO_ERROR) {
        return code;
    }
    if (ResponseLength() < 1 + dataBytes || Response()[0] != expected) {
        return MAIL_WRONG_RESPONSE_PRIMITIVE;
    }
    return MAIL_NO_ERROR;
}

uint32_t Confirmed(const Request& request, uint8_t expected) {
    const uint32_t code = Exchange(request, expected, 1);
    if (code != MAIL_NO_ERROR) {
        return code;
    }
    return Response()[1] == 1 ? MAIL_NO_ERROR : MAIL_NEGATIVE_CONFIRM;
}

uint32_t Unconfirmed(const Request& request) {
    return MailTransaction(request.Bytes(), request.Size(), nullptr);
}

// A transfer whose frame would exceed the largest one is refused as the
// transport refuses it, before a payload is built.
bool FitsOneMail(uint64_t dataBytes) {
    return kTransferHeader + dataBytes <= kMaxRequestPayload;
}

// Address, count and the data of a byte or word transfer; without a confirm
// code the request is sent unconfirmed.
template <typename Unit>
uint32_t Transfer(uint8_t request, uint8_t confirm, uint32_t address, uint32_t count,
                  const Unit* data) {
    std::this_thread::yield();
    if (!FitsOneMail(uint64_t{count} * sizeof(Unit))) {
        return MAIL_TOO_LONG;
    }
    Request r(request);
    r.U32(address).U16(count).Data(data, count);
    return confirm == RESERVED_PRIM_000 ? Unconfirmed(r) : Confirmed(r, confirm);
}

uint32_t AddressConfirmed(uint8_t request, uint8_t confirm, uint32_t address) {
    Request r(request);
    r.U32(address);
    return Confirmed(r, confirm);
}

uint32_t RangeValue(uint8_t request, uint8_t response, uint32_t start, uint32_t end,
                    uint32_t* value) {
    std::this_thread::yield();
    Request r(request);
    r.U32(start).U32(end);
    const uint32_t code = Exchange(r, response, 4);
    if (code == MAIL_NO_ERROR) {
        *value = ResponseU32(1);
    }
    return code;
}

} // namespace

uint32_t MonReadMem8(uint32_t address, uint32_t count, uint8_t* out) {
    std::this_thread::yield();
    if (count > kReadMem8MaxBytes) {
        return MAIL_DATA_REQ_LENGTH_TOO_LONG;
    }
    Request r(READ_MEM8_REQ);
    r.U32(address).U16(count);
    const uint32_t code = Exchange(r, READ_MEM8_RES, count);
    if (code == MAIL_NO_ERROR) {
        std::memcpy(out, Response() + 1, count);
    }
    return code;
}

uint32_t MonReadMem16(uint32_t address, uint32_t count, uint16_t* out) {
    std::this_thread::yield();
    if (count > kReadMem16MaxWords) {
        return MAIL_DATA_REQ_LENGTH_TOO_LONG;
    }
    Request r(READ_MEM16_REQ);
    r.U32(address).U16(count);
    const uint32_t code = Exchange(r, READ_MEM16_RES, count * 2);
    if (code == MAIL_NO_ERROR) {
        for (uint32_t i = 0; i < count; ++i) {
            out[i] = static_cast<uint16_t>(ResponseU16(1 + 2 * i));
        }
    }
    return code;
}

uint32_t MonReadByte(uint32_t address, uint8_t* out) {
    return MonReadMem8(address, 1, out);
}

uint32_t MonReadWord(uint32_t address, uint16_t* out) {
    return MonReadMem16(address, 1, out);
}

uint32_t MonWriteMem16(uint32_t address, uint32_t count, const uint16_t* words) {
    return Transfer(WRITE_MEM16_REQ, WRITE_MEM16_CFM, address, count, words);
}

uint32_t MonWriteMem16NoConfirm(uint32_t address, uint32_t count, const uint16_t* words) {
    return Transfer(WRITE_MEM16_REQ, RESERVED_PRIM_000, address, count, words);
}

uint32_t MonWriteMem8(uint32_t address, uint32_t count, const uint8_t* bytes) {
    return Transfer(WRITE_MEM8_REQ, WRITE_MEM8_CFM, address, count, bytes);
}

uint32_t MonWriteMem8NoConfirm(uint32_t address, uint32_t count, const uint8_t* bytes) {
    return Transfer(WRITE_MEM8_REQ, RESERVED_PRIM_000, address, count, bytes);
}

uint32_t MonWriteWord(uint32_t address, uint16_t value) {
    return MonWriteMem16(address, 1, &value);
}

uint32_t MonWriteByte(uint32_t address, uint8_t value) {
    return MonWriteMem8(address, 1, &value);
}

uint32_t MonProgIntFlash16(uint32_t address, uint32_t count, const uint16_t* words) {
    return Transfer(PROG_INT_FLASH_REQ, PROG_INT_FLASH_CFM, address, count, words);
}

uint32_t MonProgExtFlash16(uint32_t address, uint32_t count, const uint16_t* words) {
    return Transfer(PROG_EXT_FLASH_REQ, PROG_EXT_FLASH_CFM, address, count, words);
}

uint32_t MonProgExt2Flash8(uint32_t address, uint32_t count, const uint16_t* words) {
    return Transfer(PROG_EXT_2FLASH8_REQ, PROG_EXT_2FLASH8_CFM, address, count, words);
}

uint32_t MonProgIntFlash8(uint32_t address, uint32_t count, const uint8_t* bytes) {
    return Transfer(PROG_INT_FLASH_REQ, PROG_INT_FLASH_CFM, address, count, bytes);
}

uint32_t MonProgExtFlash8(uint32_t address, uint32_t count, const uint8_t* bytes) {
    return Transfer(PROG_EXT_FLASH_REQ, PROG_EXT_FLASH_CFM, address, count, bytes);
}

uint32_t MonSectorErase(uint32_t address) {
    std::this_thread::yield();
    return AddressConfirmed(EXT_SECTOR_ERASE_REQ, EXT_SECTOR_ERASE_CFM, address);
}

// The only request that does not yield first.
uint32_t MonBlockErase(uint32_t address) {
    return AddressConfirmed(EXT_BLOCK_ERASE_REQ, EXT_BLOCK_ERASE_CFM, address);
}

uint32_t MonChipErase() {
    std::this_thread::yield();
    return Confirmed(Request(EXT_CHIP_EREASE_REQ), EXT_CHIP_EREASE_CFM);
}

uint32_t MonFlashType(uint16_t* manufacturer, uint16_t* device) {
    std::this_thread::yield();
    const uint32_t code = Exchange(Request(EXT_FLASH_TYPE_REQ), EXT_FLASH_TYPE_RES, 4);
    if (code == MAIL_NO_ERROR) {
        *manufacturer = static_cast<uint16_t>(ResponseU16(1));
        *device = static_cast<uint16_t>(ResponseU16(3));
    }
    return code;
}

uint32_t MonChecksum(uint32_t start, uint32_t end, uint32_t* value) {
    return RangeValue(CALC_CHECKSUM_REQ, CALC_CHECKSUM_RES, start, end, value);
}

uint32_t MonCrc32(uint32_t start, uint32_t end, uint32_t* value) {
    return RangeValue(CALC_CRC32_REQ, CALC_CRC32_RES, start, end, value);
}

uint32_t MonSetConfig(uint32_t configuration) {
    std::this_thread::yield();
    Request r(SET_CONFIG_REQ);
    r.U32(configuration);
    return Unconfirmed(r);
}

uint32_t MonSetFlashCmdAddresses(uint32_t base, uint32_t address2, uint32_t address1) {
    std::this_thread::yield();
    Request r(SET_FLASH_PROG_CMD_ADDRESS_REQ);
    r.U32(base).U32(address2).U32(address1);
    return Confirmed(r, SET_FLASH_PROG_CMD_ADDRESS_CFM);
}

uint32_t MonGoFromAddress(uint32_t address) {
    std::this_thread::yield();
    return AddressConfirmed(GO_FROM_ADDRESS_REQ, GO_FROM_ADDRESS_CFM, address);
}

uint32_t MonSetBaudrate(uint32_t baudrate) {
    std::this_thread::yield();
    return AddressConfirmed(SET_BAUDRATE_REQ, SET_BAUDRATE_CFM, baudrate);
}

uint32_t MonGetVersion(uint32_t* version) {
    std::this_thread::yield();
    const uint32_t code = Exchange(Request(GET_VERSION_REQ), GET_VERSION_RES, 4);
    if (code == MAIL_NO_ERROR) {
        *version = ResponseU32(1);
    }
    return code;
}
