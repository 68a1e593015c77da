// Whether downloaded bytes are a monitor this board can run, judged by the
// header our monitor images start with.
#pragma once

#include <vtarget/Board.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace vtarget {

bool StartsWithMonitorHeader(std::span<const uint8_t> image, uint8_t kind);

// What runs once the boot loader has jumped into the downloaded bytes: the
// monitor when they carry a header of the kind whose size is what was
// loaded (loadedSize), otherwise nothing the board could talk with.
Stage StageAfterStart(std::span<const uint8_t> image, uint8_t kind, size_t loadedSize);

} // namespace vtarget
