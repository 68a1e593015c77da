// A script file is compiled whole and its labels resolved before the first
// instruction runs, so that an error anywhere keeps the target untouched.
#include "Runner.h"

#include <cstdio>

#include "ScriptCompiler.h"
#include "ScriptConsole.h"
#include "ScriptExecutor.h"

namespace {

// The zero flag and the call stack live as long as the program.
ScriptMachine gMachine;

void ReportCompileError(const ScriptCompileError& error) {
    printf("\n### Script Error in line %d ###\n", static_cast<int>(error.lineNumber));
    printf("\n%s\n", error.line.c_str());
    printf("%s\n", error.message);
}

// Compiles and resolves; false after printing why the script cannot run.
bool Prepare(FILE* file, ScriptProgram& program) {
    if (const auto error = CompileScript(file, program)) {
        ReportCompileError(*error);
        return false;
    }
    if (const auto label = ResolveScriptLabels(program)) {
        printf("\n### Unknow label : %s ###\n", label->c_str());
        return false;
    }
    return true;
}

} // namespace

void RunScript(const char* scriptName) {
    FILE* file = fopen(scriptName, "r");
    if (file == nullptr) {
        fprintf(stderr, "\n ### Cannot open input Script-file: %s###", scriptName);
        return;
    }
    ScriptProgram program;
    if (Prepare(file, program)) {
        ExecuteScript(program, gMachine);
        RestoreConsole();
    }
    fclose(file);
    fflush(stdout);
}
