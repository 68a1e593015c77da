// `ulvex read START END -o FILE -p PORT -t TARGET [--words]`: target memory
// into a binary file as vorn's UPLOAD and UPLOAD16 read it (cli/Upload.cpp),
// with the CRC32 of what was read and, for bytes, the target's own.
#pragma once

#include "TestMode.h"

#include <string>

namespace ulvex {

struct ReadOptions {
    std::string start;
    std::string end; // inclusive
    std::string output;
    bool words = false; // 16-bit words at word addresses, low byte first
    LinkOptions link;   // one port
};

int RunRead(const ReadOptions& options);

} // namespace ulvex
