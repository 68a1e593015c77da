// Time spans the board records for benchmarks: when the line carried bytes
// and when the board kept the PC waiting on its own account. Spans that
// touch or overlap the last one are merged into it, so a stream of bytes
// costs one entry. Recording is off unless the board was asked for it, so
// a long-running vtarget does not grow a log nobody reads.
#pragma once

#include <vtarget/Board.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace vtarget {

class SpanLog {
  public:
    void Enable() { enabled_ = true; }

    void Add(TimeSpan span) {
        if (!enabled_ || span.end <= span.begin) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (!spans_.empty() && span.begin <= spans_.back().end) {
            spans_.back().begin = std::min(spans_.back().begin, span.begin);
            spans_.back().end = std::max(spans_.back().end, span.end);
            return;
        }
        spans_.push_back(span);
    }

    std::vector<TimeSpan> Spans() const {
        std::lock_guard lock(mutex_);
        return spans_;
    }

  private:
    bool enabled_ = false; // set before the board thread starts
    mutable std::mutex mutex_;
    std::vector<TimeSpan> spans_;
};

} // namespace vtarget
