// The memory as an Intel HEX file: extended linear address records, data
// records of up to 32 bytes, LF line ends and the end record.
#pragma once

#include "memory/MemoryModel.h"

#include <string>

namespace vtarget {

std::string FormatIntelHex(const MemoryModel& memory);
bool WriteIntelHex(const std::string& path, const MemoryModel& memory);

} // namespace vtarget
