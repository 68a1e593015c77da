// The table that ends every run but a JSON one: per board the port, the
// target, the result, file and target CRC, the time and the throughput;
// then the count and the reasons of the boards that failed.
#pragma once

#include "FlashRun.h"

#include <string>
#include <vector>

namespace ulvex {

struct SummaryRow {
    std::string port{};
    std::string target{};
    Outcome outcome{};
    uint32_t bytes = 0; // of the image
};

// Under the run's lock.
std::vector<SummaryRow> SummaryRows(const Run& run);

// The table fitted to `width` columns (0: no limit): the columns a narrow
// terminal has no room for are left out, the port is cut.
std::string SummaryTable(const std::vector<SummaryRow>& rows, double seconds, size_t width,
                         bool colour);

// The result word in the colour that says good or bad.
std::string PaintResult(const std::string& result, bool ok, bool colour);

} // namespace ulvex
