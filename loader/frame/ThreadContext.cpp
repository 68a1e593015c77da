#include "frame/ThreadContext.h"

ThreadContext::~ThreadContext() {
    // A host thread that ends while its test-mode log is open would otherwise
    // lose the buffered tail of the log.
    if (trace.log != nullptr) {
        std::fclose(trace.log);
        trace.log = nullptr;
    }
}

ThreadContext& Ctx() {
    thread_local ThreadContext context;
    return context;
}
