// The script language's keywords: instructions with the kinds of their
// operands, and the sixteen register names, all in one table.
#pragma once

#include <cstdint>
#include <string_view>

enum class OperandKind : uint8_t {
    None,
    Register,           // A to P
    Label,              // any word
    Text,               // any word or quoted text
    Constant,           // "#" and hexadecimal digits
    RegisterOrConstant, // either of the two
};

struct ScriptKeyword {
    const char* name;
    uint8_t opcode;
    OperandKind operand1;
    OperandKind operand2;
};

// The entry whose name equals the upper-cased word exactly, or nullptr. The
// table's first entry (UNKNOWN) is never found.
const ScriptKeyword* FindScriptKeyword(std::string_view word);

// The register code of a register name (A = 0xE0 ... P = 0xEF), or 0.
uint8_t ScriptRegisterCode(std::string_view word);
