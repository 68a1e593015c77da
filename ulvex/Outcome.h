// How one board's session ended, read from its indications: the result
// word of the JSON "result" event and whether the board counts as done.
#pragma once

#include <cstdint>
#include <string>
#include <ulvex.h>

namespace ulvex {

struct Outcome {
    bool ok = false;
    std::string result = "interrupted"; // verified, crc-mismatch, port-error, ...
    bool haveCrc = false;
    uint32_t crcFile = 0;
    uint32_t crcTarget = 0;
    std::string detail{};
    uint32_t ms = 0;         // the session's time, as its stop indication tells
    bool programmed = false; // PROGRAMMING_SUCCESS_IND came
};

// Whether the indication decides a session's result (the first one does).
bool Decides(uint16_t code);

class OutcomeTracker {
  public:
    void Take(const IndicationRecord& record);
    bool Stopped() const { return stopped_; }
    Outcome Result() const;

  private:
    bool stopped_ = false;
    uint32_t ms_ = 0;
    uint16_t first_ = 0; // the first indication that decides the result
    uint16_t mailError_ = 0;
    bool haveCrc_ = false;
    bool programmed_ = false;
    uint32_t crcFile_ = 0;
    uint32_t crcTarget_ = 0;
};

} // namespace ulvex
