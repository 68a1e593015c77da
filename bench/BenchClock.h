// Wall and processor time as the benchmarks report them, in milliseconds.
#pragma once

#include <chrono>
#include <sys/resource.h>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// User and system time of a resource usage record.
inline double CpuMs(const rusage& usage) {
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

// User and system time of the calling thread (RUSAGE_THREAD) or of the
// whole process (RUSAGE_SELF).
inline double CpuMs(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return CpuMs(usage);
}

inline double ThreadCpuMs() {
    return CpuMs(RUSAGE_THREAD);
}

inline double ProcessCpuMs() {
    return CpuMs(RUSAGE_SELF);
}

} // namespace bench
