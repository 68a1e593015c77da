// The process-wide debug output that receives error traces: syslog (ident
// "ulvex", warning) by default, standard error when the environment variable
// ULVEX_DEBUG_OUTPUT is "stderr", or a sink installed by a test.
#pragma once

using ErrorTraceSink = void (*)(const char* line);

// nullptr restores the default destination.
void SetErrorTraceSink(ErrorTraceSink sink);

// Sends one complete error-trace line.
void EmitErrorTrace(const char* line);
