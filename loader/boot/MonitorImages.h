// The monitor programs the boot loaders download: built-in generated images,
// or, when the environment variable ULVEX_MONITOR_DIR names a directory, the
// real monitors of a user's boards from the files monitor<kind>.bin and
// ml675001_monitor.hex there.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// The binary monitor of an image kind (0..6). False, with an error trace
// naming the file and the reason, for an unknown kind or a monitor file that
// is missing, unreadable, empty or longer than the boot loaders' 16-bit
// length allows.
bool LoadMonitorImage(uint32_t kind, std::vector<uint8_t>& image);

// The ML675001 monitor's HEX text as it is sent: the characters before the
// first 0xFF end mark. False, with an error trace, for a monitor file that is
// missing, unreadable, empty or longer than 1 MiB.
bool LoadMl675001Monitor(std::vector<uint8_t>& text);

// The built-in images themselves: a binary kind (empty for an unknown kind),
// and the HEX text as stored, with its end mark.
std::span<const uint8_t> BuiltInMonitorImage(uint32_t kind);
std::span<const uint8_t> BuiltInMl675001Monitor();
