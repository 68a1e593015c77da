// What a session or a test mode leaves behind once it has ended: a log
// whose last line is the stop indication's, and no descriptor left open on
// the log or on the port.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace reliability {

// The last line of the text that holds more than blanks, without its end.
std::string LastLine(const std::string& text);

// Whether the line is the log line of a STOP_PROGRAM_IND of the session.
bool IsStopLine(const std::string& line, uint16_t sessionid);

// Whether every indication line of the log carries the session's id and
// has the form the library writes.
bool IndicationLinesAreOwn(const std::string& log, uint16_t sessionid);

// Descriptors of this process that refer to the file or device.
size_t DescriptorsOn(const std::string& path);

// Waits until no descriptor of this process refers to the file or device
// any more, besides those that others keep (an in-process board keeps one
// on its own pseudo-terminal); false if one is still open when the time is up.
bool WaitUntilClosed(const std::string& path, std::chrono::milliseconds timeout,
                     size_t keptByOthers = 0);

} // namespace reliability
