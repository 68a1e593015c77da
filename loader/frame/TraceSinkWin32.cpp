// The platform debug output on Windows: OutputDebugString, which a
// debugger or a debug-output viewer shows.
#include "frame/TraceSink.h"

#include <windows.h>

void WriteDebugOutput(const char* line) {
    OutputDebugStringA(line);
}
