// Reading and compiling a test script into its instruction list, and
// resolving the labels its jumps and calls name.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "ScriptProgram.h"

struct ScriptCompileError {
    unsigned lineNumber = 0;
    std::string line; // as prepared: upper-cased outside quotes, comment cut
    const char* message = "";
};

// Reads the script to its end, appending every complete instruction to
// program. The first error ends the reading. A label or an instruction that
// the script's end leaves incomplete is dropped.
std::optional<ScriptCompileError> CompileScript(FILE* file, ScriptProgram& program);

// Points every jump and call at the first instruction that carries the label
// it names. Returns the first label that no instruction carries.
std::optional<std::string> ResolveScriptLabels(ScriptProgram& program);
