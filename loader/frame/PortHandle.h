// A platform port handle; kNoPort means no port is open. It lives here
// because every thread's context holds one; the serial driver opens and
// closes what it names.
#pragma once

#include <cstdint>

using PortHandle = intptr_t;
constexpr PortHandle kNoPort = -1;
