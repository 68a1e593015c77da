// A compiled test script: one record per instruction, in source order. An
// instruction's successor is the next record; jumps and calls name their
// target by its index, filled in when the labels are resolved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum ScriptOpcode : uint8_t {
    OP_NOP = 0x00,
    OP_MOV = 0x10,
    OP_WRITE8 = 0x20,
    OP_WRITE16 = 0x30,
    OP_READ8 = 0x40,
    OP_READ16 = 0x50,
    OP_DISP8 = 0x80,
    OP_DISP16 = 0x81,
    OP_CMP = 0x82,
    OP_AND = 0x83,
    OP_OR = 0x84,
    OP_ADD = 0x85,
    OP_SUB = 0x86,
    OP_INC = 0x87,
    OP_DEC = 0x88,
    OP_SHR = 0x89,
    OP_SHL = 0x8A,
    OP_BEQ = 0x8B,
    OP_BNE = 0x8C,
    OP_JMP = 0x8D,
    OP_JSR = 0x8E,
    OP_WAIT = 0x8F,
    OP_PRINT = 0x90,
    OP_PRINT_REG = 0x91,
    OP_NEWLINE = 0x92,
    OP_CR = 0x93,
    OP_BACKSPACE = 0x94,
    OP_HOME = 0x95,
    OP_CLRSCR = 0x96,
    OP_KEYB = 0x97,
    OP_GETHEX = 0x98,
    OP_RTN = 0x99,
    OP_UNKNOWN = 0xFF,
};

// Register operands are held as 0xE0 + the register's number (A to P); 0 in a
// register field means the operand is a constant.
constexpr uint8_t kRegisterA = 0xE0;
constexpr uint8_t kRegisterCount = 16;

constexpr size_t kPrintSize = 100; // 99 characters and the terminator
constexpr size_t kLabelSize = 64;  // 63 characters and the terminator
constexpr size_t kNoInstruction = SIZE_MAX;

struct ScriptInstruction {
    uint8_t Opcode = OP_NOP;
    uint8_t register1 = 0;
    uint8_t register2 = 0;
    uint32_t Abs0 = 0;
    uint32_t Abs1 = 0;
    char Print[kPrintSize] = {};
    char MyLabel[kLabelSize] = {};
    char Jmp2Label[kLabelSize] = {};
    size_t jumpTarget = kNoInstruction; // index of the instruction Jmp2Label names
};

using ScriptProgram = std::vector<ScriptInstruction>;
