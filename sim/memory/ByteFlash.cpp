#include "memory/ByteFlash.h"

namespace vtarget {

namespace {

constexpr uint32_t kCommandOffset1 = 0x5555;
constexpr uint32_t kCommandOffset2 = 0x2AAA;
constexpr uint8_t kUnlock1 = 0xAA;
constexpr uint8_t kUnlock2 = 0x55;
constexpr uint8_t kAutoselect = 0x90;
constexpr uint8_t kReset = 0xF0;
constexpr uint8_t kProgramByte = 0xA0;
constexpr uint8_t kEraseSetup = 0x80;
constexpr uint8_t kChipErase = 0x10;
constexpr uint8_t kToggleBit = 0x40;

} // namespace

ByteFlash::ByteFlash(uint32_t size, uint8_t manufacturer, uint8_t device, const FlashTiming& timing,
                     KoltLog& log)
    : cells_(size), manufacturer_(manufacturer), device_(device), timing_(timing), log_(log) {}

uint8_t ByteFlash::ReadByte(uint32_t offset) const {
    if (erase_.Busy()) {
        toggle_ = !toggle_;
        return toggle_ ? kToggleBit : 0x00;
    }
    if (state_ == State::Autoselect && offset <= 1) {
        return offset == 0 ? manufacturer_ : device_;
    }
    return cells_.At(offset);
}

void ByteFlash::WriteByte(uint32_t offset, uint8_t value) {
    if (erase_.Busy()) {
        return;
    }
    if (value == kReset && state_ != State::ProgramByte) {
        state_ = State::Read;
        return;
    }
    switch (state_) {
    case State::Read:
    case State::Autoselect:
        state_ = offset == kCommandOffset1 && value == kUnlock1 ? State::Unlocked1 : state_;
        return;
    case State::Unlocked1:
        state_ = offset == kCommandOffset2 && value == kUnlock2 ? State::Unlocked2 : State::Read;
        return;
    case State::Unlocked2:
        state_ = State::Read;
        if (offset == kCommandOffset1) {
            Command(value);
        }
        return;
    case State::ProgramByte:
        state_ = State::Read;
        Program(offset, value);
        return;
    default:
        EraseCommand(offset, value);
        return;
    }
}

void ByteFlash::Command(uint8_t value) {
    switch (value) {
    case kAutoselect:
        state_ = State::Autoselect;
        return;
    case kProgramByte:
        state_ = State::ProgramByte;
        return;
    case kEraseSetup:
        state_ = State::EraseSetup;
        return;
    default:
        return;
    }
}

// The second unlock after 0x80, then the erase code.
void ByteFlash::EraseCommand(uint32_t offset, uint8_t value) {
    const State state = state_;
    state_ = State::Read;
    if (state == State::EraseSetup && offset == kCommandOffset1 && value == kUnlock1) {
        state_ = State::EraseUnlocked1;
    } else if (state == State::EraseUnlocked1 && offset == kCommandOffset2 && value == kUnlock2) {
        state_ = State::EraseUnlocked2;
    } else if (state == State::EraseUnlocked2 && offset == kCommandOffset1 && value == kChipErase) {
        cells_.Erase(0, cells_.Size());
        erase_.Start(timing_.chipErase8, timing_.stuck);
    }
}

void ByteFlash::Program(uint32_t offset, uint8_t value) {
    if (offset >= cells_.Size()) {
        return;
    }
    const uint8_t data[1] = {value};
    log_.flashOverwrites += cells_.Program(offset, data);
}

} // namespace vtarget
