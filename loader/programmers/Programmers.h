// Entries of the target programmers, one per family. Each programs the
// session's image into the board and reports its outcome by indications;
// the result is for the programmer's own callers.
#pragma once

#include "frame/ThreadContext.h"

int ProgKoltSession(const SessionParams& session);
int ProgMervSession(const SessionParams& session);
int AtMega128Session(const SessionParams& session);
int Ml675001FlashSession(const SessionParams& session);
int Ml675001RamSession(const SessionParams& session);
int S3c44b0xSession(const SessionParams& session);

class ProgramImage;

// How a programmer's monitor start is traced: in full, or narrowed to the
// raw bytes (the debug mask's narrowing bit).
enum class MonitorTrace { Full, Narrowed };

// The start the programmers share: the monitor, then the image read and
// announced. False when the session ends here, with result 1.
bool StartMonitorAndImage(const SessionParams& session, MonitorTrace trace, ProgramImage& image);

using ProgrammerEntry = int (*)(const SessionParams& session);

// The programmer of a target type; nullptr for a type outside 0 to 23.
ProgrammerEntry ProgrammerFor(uint32_t targettype);
