// Carrying out a compiled test script against the target in test mode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ScriptProgram.h"

constexpr uint16_t kScriptCallDepth = 30;

struct ScriptMachine {
    std::array<uint32_t, kRegisterCount> registers{};
    uint8_t zeroFlag = 0;
    std::array<size_t, kScriptCallDepth> callStack{}; // the calling JSR instructions
    uint16_t depth = 0;
};

// Clears the registers and runs the program from its first instruction until
// it runs off its end, returns from outside any call, or overflows the call
// stack. The zero flag and the call stack carry over from earlier runs.
void ExecuteScript(const ScriptProgram& program, ScriptMachine& machine);
