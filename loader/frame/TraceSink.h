// The process-wide debug output that receives error traces: the platform's
// debug output by default (syslog with ident "ulvex" on Linux,
// OutputDebugString on Windows), standard error when the environment
// variable ULVEX_DEBUG_OUTPUT is "stderr", or a sink installed by a test.
#pragma once

using ErrorTraceSink = void (*)(const char* line);

// nullptr restores the default destination.
void SetErrorTraceSink(ErrorTraceSink sink);

// Sends one complete error-trace line.
void EmitErrorTrace(const char* line);

// The platform's debug output, one line; TraceSinkPosix and TraceSinkWin32
// implement it.
void WriteDebugOutput(const char* line);
