// The boards of one `ulvex flash` run: from -p/-t/IMAGE (the same image
// and target on every port) or from a jobs file (docs/ulvex-jobs.md), one
// entry per board.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulvex {

struct BoardJob {
    std::string port{};
    std::string target{};
    std::string image{};
    std::string format{};           // hex, elf, srec or bin; empty: by its content
    std::optional<uint32_t> base{}; // the address of a raw binary's first byte
    uint32_t baud = 115200;
    std::string bus = "duplex"; // or "single"
    bool dtr = false;
    bool rts = false;
};

struct JobsFile {
    std::vector<BoardJob> boards{};
    std::string error{}; // not empty: no boards, and why
};

// The jobs file's text; each entry starts from `defaults` (the command
// line's -b, --bus, --dtr, --rts) and relative image paths are taken from
// `directory`, the file's own.
JobsFile ParseJobs(std::string_view text, const BoardJob& defaults, const std::string& directory);

// The same, read from a file.
JobsFile ReadJobs(const std::string& path, const BoardJob& defaults);

} // namespace ulvex
