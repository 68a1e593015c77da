#include "frame/TraceSink.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<ErrorTraceSink> installedSink{nullptr};

bool StderrRequested() {
    const char* output = std::getenv("ULVEX_DEBUG_OUTPUT");
    return output != nullptr && std::strcmp(output, "stderr") == 0;
}

} // namespace

void SetErrorTraceSink(ErrorTraceSink sink) {
    installedSink = sink;
}

void EmitErrorTrace(const char* line) {
    if (ErrorTraceSink sink = installedSink.load()) {
        sink(line);
        return;
    }
    if (StderrRequested()) {
        // One write per line keeps lines of several threads whole: the
        // stream is locked for the call and standard error is unbuffered.
        char text[600];
        int length = std::snprintf(text, sizeof text, "%s\n", line);
        if (length > 0) {
            size_t size = std::min(static_cast<size_t>(length), sizeof text - 1);
            std::fwrite(text, 1, size, stderr);
        }
        return;
    }
    WriteDebugOutput(line);
}
