// The script executor. Each instruction gives up the rest of its time slice
// first, so a script that loops for ever leaves the processor to others.
#include "ScriptExecutor.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "ScriptConsole.h"
#include "ScriptDump.h"
#include "ScriptText.h"
#include "ulvex.h"

namespace {

// A GETHEX line longer than this is cut.
constexpr size_t kHexLineLimit = 80;

// The source name and line numbers the refused write forms report.
constexpr const char* kSourceName = "Runner";
constexpr int kWrite8Refused = 372;
constexpr int kWrite16Refused = 413;

class Step {
  public:
    Step(const ScriptProgram& program, size_t current, ScriptMachine& machine)
        : current_(current), in_(program[current]), machine_(machine) {}

    // Carries the instruction out. Returns false when the script ends;
    // otherwise next holds the instruction to go on with.
    bool Carry(size_t& next);

  private:
    uint32_t& R() { return machine_.registers[(in_.register1 - kRegisterA) % kRegisterCount]; }
    uint32_t X() const { return Value(in_.register1, in_.Abs0); }
    uint32_t Y() const { return Value(in_.register2, in_.Abs1); }
    uint32_t Value(uint8_t registerCode, uint32_t constant) const {
        return registerCode == 0 ? constant
                                 : machine_.registers[(registerCode - kRegisterA) % kRegisterCount];
    }
    void SetR(uint32_t value) {
        R() = value;
        machine_.zeroFlag = value == 0 ? 1 : 0;
    }

    bool Call(size_t& next);
    bool Return(size_t& next);
    void Write(int refusedLine, bool wide);
    void Read(bool wide);
    void PrintRegister();
    void ReadKey();
    void ReadHex();

    size_t current_;
    const ScriptInstruction& in_;
    ScriptMachine& machine_;
};

bool Step::Call(size_t& next) {
    if (machine_.depth >= kScriptCallDepth) {
        fputs("\n### Stack overflow ###\n", stdout);
        return false;
    }
    machine_.callStack[machine_.depth++] = current_;
    next = in_.jumpTarget;
    return true;
}

// A return outside any call ends the script.
bool Step::Return(size_t& next) {
    if (machine_.depth == 0) {
        return false;
    }
    next = machine_.callStack[--machine_.depth] + 1;
    return true;
}

// Constant data to a register address is refused: the form is a likely slip
// for the operands' order.
void Step::Write(int refusedLine, bool wide) {
    if (in_.register1 == 0 && in_.register2 != 0) {
        printf("\n### Debug Error %d %s ###\n", refusedLine, kSourceName);
        return;
    }
    if (wide) {
        TM_Wr16(Y(), X() & 0xFFFFu);
    } else {
        TM_Wr8(Y(), X() & 0xFFu);
    }
}

// A failed read gives 0.
void Step::Read(bool wide) {
    if (wide) {
        uint16_t word = 0;
        R() = TM_Rd16(Y(), &word) == MAIL_NO_ERROR ? word : 0;
    } else {
        uint8_t byte = 0;
        R() = TM_Rd8(Y(), &byte) == MAIL_NO_ERROR ? byte : 0;
    }
}

void Step::PrintRegister() {
    const uint32_t value = R();
    uint32_t form = in_.Abs1 & 0xFFu;
    if (form > 32) {
        form = 32;
    }
    if (form == 0) {
        printf("%08lX ", static_cast<unsigned long>(value));
        return;
    }
    if (form == 1) {
        printf("%08ld ", static_cast<long>(static_cast<int32_t>(value)));
        return;
    }
    for (uint32_t bit = form; bit-- > 0;) {
        putchar((value >> bit) & 1u ? '1' : '0');
    }
    putchar(' ');
}

void Step::ReadKey() {
    fflush(stdout);
    const int code = ReadWaitingKey();
    R() = code < 0 ? 0 : static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(code)));
}

void Step::ReadHex() {
    fflush(stdout);
    const std::string line = ReadConsoleLine(kHexLineLimit);
    const size_t firstWord = line.find_first_not_of(" \t");
    R() = firstWord == std::string::npos ? 0 : ParseScriptHex(line.c_str() + firstWord);
}

bool Step::Carry(size_t& next) {
    switch (in_.Opcode) {
    case OP_NOP:
        return true;
    case OP_MOV:
        SetR(Y());
        return true;
    case OP_AND:
        SetR(R() & Y());
        return true;
    case OP_OR:
        SetR(R() | Y());
        return true;
    case OP_ADD:
        SetR(R() + Y());
        return true;
    case OP_SUB:
        SetR(R() - Y());
        return true;
    case OP_SHR:
        SetR(R() >> (Y() % 32));
        return true;
    case OP_SHL:
        SetR(R() << (Y() % 32));
        return true;
    case OP_INC:
        SetR(R() + 1);
        return true;
    case OP_DEC:
        SetR(R() - 1);
        return true;
    case OP_CMP:
        machine_.zeroFlag = R() == in_.Abs1 ? 1 : 0;
        return true;
    case OP_BEQ:
        if (machine_.zeroFlag == 1) {
            next = in_.jumpTarget;
        }
        return true;
    case OP_BNE:
        if (machine_.zeroFlag == 0) {
            next = in_.jumpTarget;
        }
        return true;
    case OP_JMP:
        next = in_.jumpTarget;
        return true;
    case OP_JSR:
        return Call(next);
    case OP_RTN:
        return Return(next);
    case OP_WAIT:
        fflush(stdout);
        std::this_thread::sleep_for(std::chrono::milliseconds(in_.Abs0));
        return true;
    case OP_WRITE8:
        Write(kWrite8Refused, false);
        return true;
    case OP_WRITE16:
        Write(kWrite16Refused, true);
        return true;
    case OP_READ8:
        Read(false);
        return true;
    case OP_READ16:
        Read(true);
        return true;
    case OP_DISP8:
        DumpScriptBytes(X(), Y());
        return true;
    case OP_DISP16:
        DumpScriptWords(X(), Y());
        return true;
    case OP_PRINT:
        printf("%s ", in_.Print);
        return true;
    case OP_PRINT_REG:
        PrintRegister();
        return true;
    case OP_NEWLINE:
        putchar('\n');
        return true;
    case OP_CR:
        putchar('\r');
        return true;
    case OP_BACKSPACE:
        for (uint32_t i = 0; i < (in_.Abs0 & 0xFFu); ++i) {
            putchar('\b');
        }
        return true;
    case OP_HOME:
        HomeConsoleCursor();
        return true;
    case OP_CLRSCR:
        ClearConsole();
        return true;
    case OP_KEYB:
        ReadKey();
        return true;
    case OP_GETHEX:
        ReadHex();
        return true;
    default:
        fputs("\n### Run: Unknown Opcode ###\n", stdout);
        return true;
    }
}

} // namespace

void ExecuteScript(const ScriptProgram& program, ScriptMachine& machine) {
    machine.registers.fill(0);
    size_t current = 0;
    while (current < program.size()) {
        std::this_thread::yield();
        size_t next = current + 1;
        if (!Step(program, current, machine).Carry(next)) {
            break;
        }
        current = next;
    }
    fflush(stdout);
}
