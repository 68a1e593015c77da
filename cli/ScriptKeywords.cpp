// The keyword table. Register names are entries too, so a register written
// where an instruction belongs compiles to an instruction nothing carries out.
#include "ScriptKeywords.h"

#include <array>

#include "ScriptProgram.h"

namespace {

using K = OperandKind;

constexpr std::array<ScriptKeyword, 49> kKeywords{{
    {"UNKNOWN", OP_UNKNOWN, K::None, K::None},
    {"NOP", OP_NOP, K::None, K::None},
    {"CLRSCR", OP_CLRSCR, K::None, K::None},
    {"KEYB", OP_KEYB, K::Register, K::None},
    {"GETHEX", OP_GETHEX, K::Register, K::None},
    {"RTN", OP_RTN, K::None, K::None},
    {"INC", OP_INC, K::Register, K::None},
    {"DEC", OP_DEC, K::Register, K::None},
    {"BEQ", OP_BEQ, K::Label, K::None},
    {"BNE", OP_BNE, K::Label, K::None},
    {"JMP", OP_JMP, K::Label, K::None},
    {"JSR", OP_JSR, K::Label, K::None},
    {"WAIT", OP_WAIT, K::Constant, K::None},
    {"PRINT_REG", OP_PRINT_REG, K::Register, K::Constant},
    {"CR", OP_CR, K::None, K::None},
    {"NEWLINE", OP_NEWLINE, K::None, K::None},
    {"HOME", OP_HOME, K::None, K::None},
    {"BACKSPACE", OP_BACKSPACE, K::Constant, K::None},
    {"PRINT", OP_PRINT, K::Text, K::None},
    {"MOV", OP_MOV, K::Register, K::RegisterOrConstant},
    {"WRITE8", OP_WRITE8, K::RegisterOrConstant, K::RegisterOrConstant},
    {"WRITE16", OP_WRITE16, K::RegisterOrConstant, K::RegisterOrConstant},
    {"READ8", OP_READ8, K::Register, K::RegisterOrConstant},
    {"READ16", OP_READ16, K::Register, K::RegisterOrConstant},
    {"DISP8", OP_DISP8, K::RegisterOrConstant, K::RegisterOrConstant},
    {"DISP16", OP_DISP16, K::RegisterOrConstant, K::RegisterOrConstant},
    {"CMP", OP_CMP, K::Register, K::Constant},
    {"AND", OP_AND, K::Register, K::RegisterOrConstant},
    {"OR", OP_OR, K::Register, K::RegisterOrConstant},
    {"ADD", OP_ADD, K::Register, K::RegisterOrConstant},
    {"SUB", OP_SUB, K::Register, K::RegisterOrConstant},
    {"SHR", OP_SHR, K::Register, K::RegisterOrConstant},
    {"SHL", OP_SHL, K::Register, K::RegisterOrConstant},
    {"A", 0xE0, K::None, K::None},
    {"B", 0xE1, K::None, K::None},
    {"C", 0xE2, K::None, K::None},
    {"D", 0xE3, K::None, K::None},
    {"E", 0xE4, K::None, K::None},
    {"F", 0xE5, K::None, K::None},
    {"G", 0xE6, K::None, K::None},
    {"H", 0xE7, K::None, K::None},
    {"I", 0xE8, K::None, K::None},
    {"J", 0xE9, K::None, K::None},
    {"K", 0xEA, K::None, K::None},
    {"L", 0xEB, K::None, K::None},
    {"M", 0xEC, K::None, K::None},
    {"N", 0xED, K::None, K::None},
    {"O", 0xEE, K::None, K::None},
    {"P", 0xEF, K::None, K::None},
}};

} // namespace

const ScriptKeyword* FindScriptKeyword(std::string_view word) {
    for (size_t i = 1; i < kKeywords.size(); ++i) {
        if (word == kKeywords[i].name) {
            return &kKeywords[i];
        }
    }
    return nullptr;
}

uint8_t ScriptRegisterCode(std::string_view word) {
    const ScriptKeyword* keyword = FindScriptKeyword(word);
    if (keyword == nullptr || keyword->opcode < kRegisterA ||
        keyword->opcode >= kRegisterA + kRegisterCount) {
        return 0;
    }
    return keyword->opcode;
}
