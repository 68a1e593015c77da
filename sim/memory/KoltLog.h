// What the parts of a KOLT board record for tests: register writes, the
// info block's words and programming over bits that were not erased.
#pragma once

#include <vtarget/Board.h>

#include <cstdint>
#include <vector>

namespace vtarget {

struct KoltLog {
    std::vector<WordWrite> registerWrites; // control registers, in order
    std::vector<WordWrite> infoBlockWrites;
    uint64_t flashOverwrites = 0; // bytes programmed where a 0 bit had to become 1
};

} // namespace vtarget
