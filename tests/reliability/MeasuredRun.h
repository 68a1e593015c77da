// Runs a program as a child process and measures what it cost: its output,
// exit code and peak resident memory, through a meter program (peak_meter)
// that starts it and reports the peak after it ended.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace reliability {

struct MeasuredRun {
    int exitCode = -1;     // -1 when it did not exit normally
    bool timedOut = false; // killed after the time limit
    std::string output;    // standard output and standard error together
    long peakKiB = -1;     // maximum resident set size, -1 if not reported
};

// Runs `meter argv...` in workDir, with the environment of this process plus
// the NAME=VALUE entries of extraEnvironment. The meter's report is taken out
// of the output. Children still running after the limit are killed.
MeasuredRun RunMeasured(const std::string& meter, const std::vector<std::string>& argv,
                        const std::string& workDir,
                        const std::vector<std::string>& extraEnvironment = {},
                        std::chrono::seconds limit = std::chrono::seconds(300));

// Whether this build runs under a sanitizer, whose shadow memory and
// quarantine make resident sizes meaningless as bounds.
bool UnderSanitizer();

} // namespace reliability
