// Feeds arbitrary bytes as a script file to the reader, the compiler and the
// label resolution. The checks abort on results that must hold for any input:
// text fields terminated, register fields empty or naming a register, and
// every jump resolved to an instruction of the program.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ScriptCompiler.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "fuzz_script: %s\n", what);
        abort();
    }
}

bool Terminated(const char* text, size_t size) {
    return memchr(text, '\0', size) != nullptr;
}

bool RegisterField(uint8_t code) {
    return code == 0 || (code >= kRegisterA && code < kRegisterA + kRegisterCount);
}

void CheckInstruction(const ScriptInstruction& instruction, size_t programSize, bool resolved) {
    Check(Terminated(instruction.Print, sizeof instruction.Print), "text not terminated");
    Check(Terminated(instruction.MyLabel, sizeof instruction.MyLabel), "label not terminated");
    Check(Terminated(instruction.Jmp2Label, sizeof instruction.Jmp2Label),
          "jump label not terminated");
    Check(RegisterField(instruction.register1) && RegisterField(instruction.register2),
          "register field names no register");
    if (resolved && instruction.Jmp2Label[0] != '\0') {
        Check(instruction.jumpTarget < programSize, "jump left unresolved");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "r");
    Check(file != nullptr, "fmemopen failed");
    ScriptProgram program;
    const auto error = CompileScript(file, program);
    fclose(file);
    if (error) {
        Check(error->lineNumber > 0, "error without a line");
        Check(error->line.size() < 1024, "error line longer than a piece");
        return 0;
    }
    const bool resolved = !ResolveScriptLabels(program).has_value();
    for (const ScriptInstruction& instruction : program) {
        CheckInstruction(instruction, program.size(), resolved);
    }
    return 0;
}
