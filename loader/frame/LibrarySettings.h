// The few settings that are library-wide rather than per thread: the host
// callback, the debug mask and the boot-loader timeout. The host sets them
// through the exports before sessions start; every thread reads them.
#pragma once

#include "ulvex.h"

#include <atomic>
#include <cstdint>

// Read at every indication or start.
extern std::atomic<IndicationCallback> HostCallback;
extern std::atomic<uint32_t> DebugMask;
// Bounds the boot-loader search of the targets that search for their port.
extern std::atomic<uint16_t> BootLoaderTimeoutMs;

constexpr uint16_t kDefaultBootLoaderTimeoutMs = 15000;
