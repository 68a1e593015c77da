// Records every indication the library hands to its host callback, by
// session id, from any number of session threads at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace campaign {

struct Indication {
    uint16_t code = 0;
    uint32_t long0 = 0; // first parameter (a word parameter in its low half)
    uint32_t long1 = 0;
    std::chrono::steady_clock::time_point at;
};

// Registers the callback with the library on first use.
class SessionRecorder {
  public:
    static SessionRecorder& Instance();

    // Forgets what an earlier session of this id left.
    void Expect(uint16_t sessionid);
    // Waits for the session's STOP_PROGRAM_IND; its arrival time, or nothing.
    std::optional<std::chrono::steady_clock::time_point>
    WaitForStop(uint16_t sessionid, std::chrono::steady_clock::time_point until);
    std::vector<Indication> Of(uint16_t sessionid) const;
    // Indications for session ids nobody expected.
    size_t Strays() const;

    void Add(uint16_t sessionid, const Indication& indication);

  private:
    SessionRecorder();
};

} // namespace campaign
