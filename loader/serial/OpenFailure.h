// Notes why a port did not open, in the thread's open-failure record, so
// that the error trace, the log and the host can name the device or URL
// tried and the system's reason.
#pragma once

#include <cstdint>
#include <string>

void NoteOpenFailure(uint8_t port, const std::string& tried, const std::string& reason);
