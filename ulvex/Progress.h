// Where one board's session stands, read from its indications: the stage a
// person would name, the bytes of the image done, the rate and the time
// left. The live view and the plain lines both draw from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <ulvex.h>

namespace ulvex {

using Clock = std::chrono::steady_clock;

class BoardProgress {
  public:
    void Take(const IndicationRecord& record, Clock::time_point now);

    const std::string& Stage() const { return stage_; }
    bool StageChanged() const { return stageChanged_; } // by the last Take
    uint32_t Size() const { return size_; }
    uint32_t Done() const { return done_; }
    // Tenths of the image done, 0 to 10; -1 before the size is known.
    int Tenths() const;
    double Fraction() const;
    // Bytes per second since programming began; 0 before.
    double BytesPerSecond(Clock::time_point now) const;
    std::optional<double> SecondsLeft(Clock::time_point now) const;

  private:
    void SetStage(const char* stage);

    std::string stage_ = "waiting";
    bool stageChanged_ = false;
    bool failed_ = false;
    uint32_t size_ = 0;
    uint32_t offset_ = 0;
    uint32_t done_ = 0;
    std::optional<Clock::time_point> programmingSince_{};
    Clock::time_point lastProgress_{};
};

} // namespace ulvex
