// Ports between ulvex and the library. The library names ports by COM
// number; ulvex's ports are device paths and URLs as well. Each of those
// gets a COM number of its own, mapped to it with ULVEX_SetPortPath, so
// that every command opens them alike.
#pragma once

#include "Arguments.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ulvex {

// The COM number of each port, in order: COMn as given; a path or URL the
// next free number from 254 down, past the numbers given as COMn. Nothing
// when the numbers run out or the library refuses a path.
std::optional<std::vector<uint32_t>> MapPorts(const std::vector<PortArgument>& ports);

// "TRIED: REASON", the library's account of the last port of the session
// (or test mode) with this id that did not open; "" when it has none.
std::string OpenFailureOf(uint16_t session);

} // namespace ulvex
